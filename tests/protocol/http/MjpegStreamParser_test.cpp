#include "protocol/http/MjpegStreamParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Base64.h"

namespace vexa {
namespace {

using Pictures = std::vector<std::string>;

// A small stand-in for a JPEG: start and end markers around a body.
std::string fakeJpeg(const std::string& body) {
  return "\xFF\xD8" + body + "\xFF\xD9";
}

std::string answerHeader(
    const std::string& typeLine = "multipart/x-mixed-replace;boundary=myboundary") {
  return "HTTP/1.1 200 OK\r\nContent-Type: " + typeLine + "\r\n\r\n";
}

std::string part(const std::string& jpeg, const std::string& delimiter = "--myboundary",
                 const std::string& typeHeader = "Content-Type: ",
                 const std::string& lengthHeader = "Content-Length: ") {
  return delimiter + "\r\n" + typeHeader + "image/jpeg\r\n" + lengthHeader +
         std::to_string(jpeg.size()) + "\r\n\r\n" + jpeg + "\r\n";
}

// Feeds the chunks one by one, as successive reads would, and collects the pictures.
struct Feeder {
  MjpegStreamParser parser;
  ByteBuffer buffer;
  Pictures pictures;

  void feed(const std::string& chunk) {
    buffer.append(chunk.data(), int32_t(chunk.size()));
    parser.parse(buffer, [this](std::span<const uint8_t> jpeg) {
      pictures.emplace_back(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
    });
  }
};

Pictures parseWhole(const std::string& stream) {
  Feeder feeder;
  feeder.feed(stream);
  return feeder.pictures;
}

const std::string kFirst = fakeJpeg("first picture");
const std::string kSecond = fakeJpeg(std::string(3000, 'x'));
// The delimiter after the last part, so that it counts as complete.
const std::string kTrailer = "--myboundary\r\n";

std::string twoPictureStream() {
  return answerHeader() + part(kFirst) + part(kSecond) + kTrailer;
}

TEST(MjpegStreamParser, GivesTheSamePicturesForEverySplitOfTheAnswer) {
  const std::string stream = twoPictureStream();
  for (size_t split = 1; split < stream.size(); ++split) {
    Feeder feeder;
    feeder.feed(stream.substr(0, split));
    feeder.feed(stream.substr(split));
    ASSERT_EQ(feeder.pictures, (Pictures{kFirst, kSecond})) << "split at " << split;
  }
  Feeder byteByByte;
  for (char c : stream) byteByByte.feed(std::string(1, c));
  EXPECT_EQ(byteByByte.pictures, (Pictures{kFirst, kSecond}));
}

TEST(MjpegStreamParser, TakesAPartOnlyOnceTheNextDelimiterLineEndsAndNeverWithoutBoundary) {
  const std::pair<std::string, Pictures> cases[] = {
      {answerHeader() + part(kFirst), {}},
      {answerHeader() + part(kFirst) + "--myboundary\r", {}},
      {answerHeader() + part(kFirst) + kTrailer, {kFirst}},
      // Only the positions of the line ends count, not the boundary text itself.
      {answerHeader() + part(kFirst) + "xxXXXXXXXXXX\r\n", {kFirst}},
      {"HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
           std::to_string(kFirst.size()) + "\r\n\r\n" + kFirst,
       {}},
      // Header names in any case.
      {"HTTP/1.1 200 OK\r\ncontent-TYPE: multipart/x-mixed-replace;boundary=b\r\n\r\n" +
           part(kFirst, "--b", "Content-type: ", "content-length: ") + "--b\r\n",
       {kFirst}},
  };
  for (const auto& [stream, pictures] : cases) EXPECT_EQ(parseWhole(stream), pictures) << stream;
}

// A part with the given Content-Length text, picture and the two bytes after it.
std::string partWith(const std::string& length, const std::string& jpeg, const std::string& end) {
  return "--myboundary\r\nContent-Type: image/jpeg\r\nContent-Length: " + length + "\r\n\r\n" +
         jpeg + end;
}

TEST(MjpegStreamParser, DropsPartsThatFailTheValidityRulesAndCarriesOn) {
  const std::string size = std::to_string(kFirst.size());
  const std::vector<std::string> badParts = {
      // Announced one byte short: the picture then does not end in FF D9.
      partWith(std::to_string(kFirst.size() - 1), kFirst, "\r\n"),
      partWith(size, "xx" + kFirst.substr(2), "\r\n"),  // no start marker
      partWith(size, kFirst, "ab"),                     // no CR LF after the picture
      partWith("0", kFirst, "\r\n"),
      partWith("-5", kFirst, "\r\n"),
      partWith("abc", kFirst, "\r\n"),
      partWith("99999999999999999999", kFirst, "\r\n"),
  };
  for (const std::string& bad : badParts) {
    EXPECT_EQ(parseWhole(answerHeader() + bad + part(kSecond) + kTrailer), Pictures{kSecond})
        << bad;
  }
}

TEST(MjpegStreamParser, DropsAnErrorAnswerLineByLine) {
  Feeder feeder;
  feeder.feed("HTTP/1.1 401 Unauthorized\r\nContent-Type: text/html\r\n\r\n<html>no</html>\r\n");
  EXPECT_TRUE(feeder.pictures.empty());
  EXPECT_LT(feeder.buffer.size(), 40);
}

TEST(MjpegStreamParser, FindsTheBoundaryParameterAsCamerasWriteIt) {
  struct Case {
    std::string typeLine, expectedBoundary, delimiter;
  };
  const std::vector<Case> cases = {
      {"multipart/x-mixed-replace;boundary=myboundary", "myboundary", "--myboundary"},
      {"multipart/x-mixed-replace; boundary=myboundary", "myboundary", "--myboundary"},
      {"multipart/x-mixed-replace; boundary=\"myboundary\"", "myboundary", "--myboundary"},
      {"multipart/x-mixed-replace; Boundary=myboundary; charset=x", "myboundary", "--myboundary"},
      // Dashes written into the parameter: the body uses the boundary as it stands...
      {"multipart/x-mixed-replace;boundary=--myboundary", "--myboundary", "--myboundary"},
      // ...or with two more dashes, as a strict reading of the parameter expects.
      {"multipart/x-mixed-replace;boundary=--myboundary", "--myboundary", "----myboundary"},
  };
  for (const auto& c : cases) {
    Feeder feeder;
    feeder.feed(answerHeader(c.typeLine) + part(kFirst, c.delimiter) + part(kSecond, c.delimiter) +
                c.delimiter + "\r\n");
    EXPECT_EQ(feeder.parser.boundary(), c.expectedBoundary) << c.typeLine;
    EXPECT_EQ(feeder.pictures, (Pictures{kFirst, kSecond})) << c.typeLine << " / " << c.delimiter;
  }
}

// A part whose Content-Length never comes, or announces 2 GB: the parser holds no more than
// its cap, and finds its place again.
TEST(MjpegStreamParser, KeepsMemoryBoundedOnAnEndlessPartAndAHugeAnnouncedLength) {
  Feeder endless, huge;
  endless.feed(answerHeader() + "--myboundary\r\nContent-Type: image/jpeg\r\n");
  for (int i = 0; i < 200; ++i) {
    endless.feed(std::string(64 * 1024, 'g'));
    ASSERT_LE(endless.buffer.size(), MjpegStreamParser::kMaxPendingBytes);
  }
  endless.feed("\r\n" + part(kFirst) + part(kSecond) + kTrailer);
  EXPECT_EQ(endless.pictures.back(), kSecond);

  huge.feed(answerHeader() + partWith("2000000000", "", ""));
  for (int i = 0; i < 10; ++i) huge.feed(std::string(1000, 'z') + "\r\n");
  huge.feed(part(kFirst) + kTrailer);
  EXPECT_EQ(huge.pictures, Pictures{kFirst});
}

// What hostile or broken cameras sent before a valid stream (with a fresh answer header): the
// valid pictures come through, and an unterminated header is never held or searched whole.
TEST(MjpegStreamParser, FindsItsPlaceAgainAfterHostileParts) {
  std::string lfOnly = "HTTP/1.1 200 OK\nContent-Type: multipart/x-mixed-replace;boundary=myboundary\n\n";
  for (int i = 0; i < 3; ++i) {
    lfOnly += "--myboundary\nContent-Type: image/jpeg\nContent-Length: " +
              std::to_string(kFirst.size()) + "\n\n" + kFirst + "\n";
  }
  const std::string longBoundary(100000, 'b');
  const std::string hostile[] = {
      lfOnly,
      answerHeader("multipart/x-mixed-replace;boundary=" + longBoundary) +
          part(kFirst, "--" + longBoundary) + "--other\r\n",
      "--myboundary\r\nContent-Type: image/jpeg" + std::string(300000, 'g'),
      "--myboundary\r\nContent-Type: multipart/x-mixed-replace;boundary=x" +
          std::string(300000, 'g'),
  };
  const size_t kChunk = 2048;
  for (const std::string& prefix : hostile) {
    Feeder feeder;
    for (size_t at = 0; at < prefix.size(); at += kChunk) {
      feeder.feed(prefix.substr(at, kChunk));
      ASSERT_LE(feeder.buffer.size(), MjpegStreamParser::kMaxPartHeaderBytes + int32_t(kChunk))
          << prefix.substr(0, 60);
    }
    feeder.feed("\r\n" + twoPictureStream());
    ASSERT_GE(feeder.pictures.size(), 2u) << prefix.substr(0, 60);
    EXPECT_EQ(Pictures(feeder.pictures.end() - 2, feeder.pictures.end()), (Pictures{kFirst, kSecond}))
        << prefix.substr(0, 60);
  }
}

TEST(MjpegRequest, CarriesBasicAuthorisationOnlyWithAUserName) {
  const std::string head =
      "GET / HTTP/1.1\r\nAccept: text/* image/jpeg audio/pcm\r\nUser-Agent: Oxbel2 Player\r\n"
      "Cache-Control: no-cache\r\n";
  EXPECT_EQ(buildMjpegRequest("", ""), head + "\r\n");
  EXPECT_EQ(buildMjpegRequest("", "secret"), head + "\r\n");
  EXPECT_EQ(buildMjpegRequest("admin", "1234"),
            head + "Authorization: Basic YWRtaW46MTIzNA==\r\n\r\n");
  // An empty password still sends the user name and the colon.
  EXPECT_EQ(buildMjpegRequest("u", ""),
            head + "Authorization: Basic " + base64::encode("u:") + "\r\n\r\n");
}

}  // namespace
}  // namespace vexa
