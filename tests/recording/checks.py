"""What a recorded file must be: its structure as this suite's own reader sees it, the same
file through FFmpeg and GStreamer, and its pictures against what the camera sent."""
from dataclasses import dataclass, field

import avi
import bitstreams
import readers

MICROSECONDS = 1_000_000
AUD_ONLY = [9]  # an access unit delimiter and nothing else
MAX_REPEAT_SIZE = 8
PACING_TOLERANCE = 0.05  # of the time the pictures took: 0.25 s in 5 s


@dataclass
class Expect:
    codec: str  # "mjpeg" or "h264"
    rate: int  # chunks a second
    width: int
    height: int
    finished: bool = True  # closed by the viewer, not cut off by a kill
    indexed: bool = True  # idx1 there (a full disk may leave no room for it)
    min_pictures: int = 0  # for a file cut off: what its readers must still decode
    min_seconds: float = 0.0


@dataclass
class Recording:
    path: str
    file: avi.Avi
    chunks: list
    pictures: list  # the chunks holding a picture, not a repetition of one
    problems: list = field(default_factory=list)
    figures: dict = field(default_factory=dict)

    @property
    def seconds(self):
        """How long the file plays, by its own stream header."""
        video = self.file.streams[0] if self.file.streams else None
        return len(self.chunks) * video.scale / video.rate if video and video.rate else 0.0


def holds_picture(data, codec):
    return bitstreams.has_picture(data) if codec == "h264" else len(data) > 0


def read_recording(path, codec):
    """A Recording, or a text telling why the file cannot be read."""
    try:
        file = avi.read(path)
    except (OSError, avi.AviError) as error:
        return f"{path}: {error}"
    chunks = file.video_chunks()
    return Recording(path, file, chunks, [c for c in chunks if holds_picture(c.data, codec)])


def check_headers(rec, expect):
    main, problems = rec.file.main, []
    if main.microseconds_per_frame != round(MICROSECONDS / expect.rate):
        problems.append(f"avih: {main.microseconds_per_frame} us a frame for {expect.rate}/s")
    if (main.width, main.height) != (expect.width, expect.height):
        problems.append(f"avih: {main.width}x{main.height}, not {expect.width}x{expect.height}")
    video = rec.file.streams[0] if rec.file.streams else None
    if video is None or video.kind != b"vids":
        return problems + ["no video stream header"]
    if video.scale == 0 or video.rate != expect.rate * video.scale:
        problems.append(f"strh: rate {video.rate}/{video.scale}, not {expect.rate}")
    if (video.width, video.height) != (expect.width, expect.height):
        problems.append(f"strf: {video.width}x{video.height}")
    if expect.finished and not main.total_frames == video.length == len(rec.chunks):
        problems.append(f"avih frames {main.total_frames}, strh length {video.length}, "
                        f"{len(rec.chunks)} chunks")
    return problems


def check_chunks(rec, expect):
    """Every chunk a picture or a repetition of the agreed form, the key flags on exactly the
    pictures that start a group, and the file starting with one."""
    problems = []
    if not rec.pictures:
        return ["no picture recorded"]
    try:
        entries = rec.file.indexed(rec.chunks)
    except avi.AviError as error:
        return [f"idx1: {error}"]
    if expect.indexed and (rec.file.index is None or None in entries):
        problems.append("idx1 missing or short of the chunks")
    first = rec.chunks[0]
    if first is not rec.pictures[0] or (expect.codec == "h264" and
                                        not bitstreams.has_idr(first.data)):
        problems.append("the first chunk is not a key picture")
    for number, (chunk, entry) in enumerate(zip(rec.chunks, entries)):
        problem = _chunk_problem(chunk.data, entry, expect.codec)
        if problem:
            problems.append(f"chunk {number} ({len(chunk.data)} bytes): {problem}")
            break
    return problems


def _chunk_problem(data, entry, codec):
    key = entry is not None and bool(entry.flags & avi.KEY_FRAME)
    if codec == "mjpeg":
        if data and bitstreams.trimmed_jpeg(data) is None:
            return "not a whole JPEG"
        if data and entry is not None and not key:
            return "a JPEG without the key flag"
        return None
    if not bitstreams.has_picture(data):
        if bitstreams.nal_types(data) != AUD_ONLY or len(data) > MAX_REPEAT_SIZE:
            return f"neither a picture nor a delimiter: NAL types {bitstreams.nal_types(data)}"
    if entry is not None and key != bitstreams.has_idr(data):
        return f"key flag {int(key)} on NAL types {bitstreams.nal_types(data)}"
    return None


def check_pacing(rec, span, repeats, rate):
    """Each picture lasts the gap to the next in whole frames: span pictures of a steady source,
    first to last, play repeats chunks each, give or take a few where they came unevenly."""
    expected = span * repeats / rate
    if abs(rec.seconds - expected) > PACING_TOLERANCE * expected:
        return [f"{len(rec.chunks)} chunks play {rec.seconds:.2f} s; {span} pictures of the "
                f"source take {expected:.2f} s"]
    return []


def check_ffprobe(rec, expect):
    stream = readers.ffprobe_video(rec.path)
    if isinstance(stream, str):
        return [stream]
    decoded = int(stream.get("nb_read_frames", 0))
    seconds = float(stream.get("duration", 0))
    rec.figures["ffprobe"] = decoded
    problems = []
    if stream.get("codec_name") != expect.codec:
        problems.append(f"ffprobe: codec {stream.get('codec_name')}")
    if (stream.get("width"), stream.get("height")) != (expect.width, expect.height):
        problems.append(f"ffprobe: {stream.get('width')}x{stream.get('height')}")
    if not expect.finished:
        if decoded < expect.min_pictures or seconds < expect.min_seconds:
            problems.append(f"ffprobe: {decoded} pictures, {seconds:.2f} s; at least "
                            f"{expect.min_pictures} and {expect.min_seconds} s wanted")
        return problems
    if stream.get("r_frame_rate") != f"{expect.rate}/1":
        problems.append(f"ffprobe: r_frame_rate {stream.get('r_frame_rate')}")
    if int(stream.get("nb_frames", -1)) != len(rec.chunks) or decoded != len(rec.pictures):
        problems.append(f"ffprobe: {stream.get('nb_frames')} frames, {decoded} decoded; the "
                        f"file has {len(rec.chunks)} chunks, {len(rec.pictures)} pictures")
    if abs(seconds - len(rec.chunks) / expect.rate) > 1 / expect.rate:
        problems.append(f"ffprobe: {seconds:.3f} s for {len(rec.chunks)} chunks")
    return problems


def check_gstreamer(rec, expect):
    size = readers.gst_discover(rec.path)
    if isinstance(size, str):
        return [size]
    problems = [] if size == (expect.width, expect.height) else [f"gst-discoverer: {size}"]
    decoded = readers.gst_decoded_count(rec.path, expect.codec)
    if isinstance(decoded, str):
        return problems + [decoded]
    rec.figures["GStreamer"] = decoded
    wanted = len(rec.pictures) if expect.finished else expect.min_pictures
    if decoded < wanted or (expect.finished and decoded != wanted):
        problems.append(f"GStreamer decoded {decoded} pictures of {wanted}")
    return problems


def contiguous_run(part, whole):
    """Where part lies whole and in order in whole, or None."""
    if not part:
        return None
    return next((start for start in range(len(whole) - len(part) + 1)
                 if whole[start] == part[0] and whole[start:start + len(part)] == part), None)


def check_jpeg_dump(rec, dump_path):
    """Every picture recorded once, in the order sent: the display a JPEG stream is recorded
    from may pass over a picture when it falls behind, never show one twice. The problems, and
    how many pictures were sent from the first recorded to the last."""
    with open(dump_path, "rb") as dump:
        where = {picture: number for number, picture in
                 enumerate(bitstreams.split_jpegs(dump.read()))}
    sent = [where.get(bitstreams.trimmed_jpeg(chunk.data)) for chunk in rec.pictures]
    if None in sent:
        return [f"picture {sent.index(None)} is none of the {len(where)} JPEGs sent"], None
    back = next((n for n in range(1, len(sent)) if sent[n] <= sent[n - 1]), None)
    span = sent[-1] - sent[0] + 1
    rec.figures["of sent"] = f"#{sent[0]}-#{sent[-1]}, {span - len(sent)} passed over"
    if back is not None:
        return [f"picture {back} is JPEG #{sent[back]} sent, after #{sent[back - 1]}"], span
    return [], span


def check_h264_dump(rec, dump_path):
    recorded, sent = readers.frame_md5s(rec.path), readers.frame_md5s(dump_path, "h264")
    for result in (recorded, sent):
        if isinstance(result, str):
            return [result], None
    start = contiguous_run(recorded, sent)
    rec.figures["of sent"] = f"#{start}-#{None if start is None else start + len(recorded) - 1}"
    problems = []
    if len(recorded) != len(rec.pictures):
        problems.append(f"ffmpeg decoded {len(recorded)} of {len(rec.pictures)} pictures")
    if start is None:
        problems.append(f"the {len(recorded)} decoded pictures are no unbroken run of the "
                        f"{len(sent)} sent")
    return problems, len(recorded)


def check_file(path, expect, repeats=None, dump=None):
    """A Recording with every problem found in it; repeats: the chunks each picture of a steady
    source takes; dump: what the camera sent, to compare with."""
    rec = read_recording(path, expect.codec)
    if isinstance(rec, str):
        rec = Recording(path, avi.Avi(), [], [], problems=[rec])
        if not expect.finished:  # the readers may still make something of it
            rec.problems += check_ffprobe(rec, expect) + check_gstreamer(rec, expect)
        return rec
    rec.problems += check_headers(rec, expect) + check_chunks(rec, expect)
    rec.figures["s"] = f"{rec.seconds:.2f} s"
    rec.problems += check_ffprobe(rec, expect) + check_gstreamer(rec, expect)
    span = len(rec.pictures)
    if dump:
        compare = check_h264_dump if expect.codec == "h264" else check_jpeg_dump
        problems, span = compare(rec, dump)
        rec.problems += problems
    if expect.finished and repeats and span:
        rec.problems += check_pacing(rec, span, repeats, expect.rate)
    return rec
