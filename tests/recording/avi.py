"""A reader of AVI files as a recording leaves them: the headers, the chunks of 'movi' in order
with their data, and the idx1 entries when there are any.

A file cut short (the writer killed between two header updates) is read as far as whole chunks
go; sizes that claim more than the file holds are clamped, not trusted.
"""
import struct
from dataclasses import dataclass, field
from typing import List, Optional

CHUNK_HEADER = struct.Struct("<4sI")
MAIN_HEADER = struct.Struct("<10I")  # avih up to dwHeight; the four reserved words are ignored
STREAM_HEADER = struct.Struct("<4s4sIHHIIIIIIII4h")
BITMAP_HEADER = struct.Struct("<IiiHH4sI")  # BITMAPINFOHEADER up to biSizeImage
INDEX_ENTRY = struct.Struct("<4sIII")
LIST_TYPE_SIZE = 4
KEY_FRAME = 0x10  # AVIIF_KEYFRAME


class AviError(Exception):
    pass


@dataclass
class MainHeader:
    microseconds_per_frame: int
    total_frames: int
    streams: int
    width: int
    height: int


@dataclass
class StreamHeader:
    kind: bytes
    handler: bytes
    scale: int
    rate: int
    length: int
    width: int = 0  # from strf, for video
    height: int = 0
    compression: bytes = b""


@dataclass
class Chunk:
    fourcc: bytes
    offset: int  # of the chunk's header in the file
    data: bytes


@dataclass
class IndexEntry:
    fourcc: bytes
    flags: int
    offset: int
    size: int


@dataclass
class Avi:
    main: Optional[MainHeader] = None
    streams: List[StreamHeader] = field(default_factory=list)
    chunks: List[Chunk] = field(default_factory=list)
    index: Optional[List[IndexEntry]] = None
    movi_offset: Optional[int] = None  # of the 'movi' list type, where idx1 offsets count from

    def video_chunks(self, stream=0):
        tag = b"%02d" % stream
        return [chunk for chunk in self.chunks
                if chunk.fourcc[:2] == tag and chunk.fourcc[2:] in (b"db", b"dc")]

    def indexed(self, chunks):
        """The idx1 entry of each chunk, in order (None where a chunk has none); AviError when an
        entry points where no chunk of its kind and size is."""
        if self.index is None:
            return [None] * len(chunks)
        by_offset = {chunk.offset: chunk for chunk in chunks}
        base = self._index_base(by_offset)
        found = {}
        for entry in self.index:
            chunk = by_offset.get(base + entry.offset)
            if chunk is None:
                if entry.fourcc[2:] in (b"db", b"dc"):
                    raise AviError(f"idx1 entry at {entry.offset} points at no video chunk")
                continue
            if chunk.fourcc != entry.fourcc or len(chunk.data) != entry.size:
                raise AviError(f"idx1 entry at {entry.offset} says {entry.fourcc!r} of "
                               f"{entry.size} bytes, the chunk is {chunk.fourcc!r} of "
                               f"{len(chunk.data)}")
            found[chunk.offset] = entry
        return [found.get(chunk.offset) for chunk in chunks]

    def _index_base(self, by_offset):
        # Offsets count from the 'movi' list type; a few writers give file offsets instead.
        if not self.index or self.movi_offset is None:
            return 0
        return self.movi_offset if self.movi_offset + self.index[0].offset in by_offset else 0


def read(path):
    with open(path, "rb") as source:
        data = source.read()
    if len(data) < CHUNK_HEADER.size + LIST_TYPE_SIZE or data[:4] != b"RIFF" or data[8:12] != b"AVI ":
        raise AviError("not a RIFF AVI file")
    avi = Avi()
    # The RIFF size is not trusted: a writer that died before its last header update leaves it
    # short of the chunks it wrote.
    _walk(data, 12, len(data), avi)
    if avi.main is None:
        raise AviError("no avih")
    return avi


def _chunks(data, start, end):
    """(fourcc, offset of the header, start of the data, its size) of each whole chunk in
    [start, end); a chunk whose data runs past end ends the walk."""
    position = start
    while position + CHUNK_HEADER.size <= end:
        fourcc, size = CHUNK_HEADER.unpack_from(data, position)
        body = position + CHUNK_HEADER.size
        if body + size > end:
            if fourcc == b"LIST":  # a list whose size was not yet written back: read what is there
                yield fourcc, position, body, end - body
            return
        yield fourcc, position, body, size
        position = body + size + (size & 1)


def _walk(data, start, end, avi):
    for fourcc, offset, body, size in _chunks(data, start, end):
        if fourcc == b"LIST" and size >= LIST_TYPE_SIZE:
            kind = data[body:body + LIST_TYPE_SIZE]
            if kind == b"movi":
                avi.movi_offset = body
                _read_movi(data, body + LIST_TYPE_SIZE, body + size, avi)
            elif kind in (b"hdrl", b"strl"):
                _walk(data, body + LIST_TYPE_SIZE, body + size, avi)
        elif fourcc == b"avih" and size >= MAIN_HEADER.size:
            fields = MAIN_HEADER.unpack_from(data, body)
            avi.main = MainHeader(fields[0], fields[4], fields[6], fields[8], fields[9])
        elif fourcc == b"strh" and size >= STREAM_HEADER.size:
            fields = STREAM_HEADER.unpack_from(data, body)
            avi.streams.append(StreamHeader(fields[0], fields[1], fields[6], fields[7], fields[9]))
        elif fourcc == b"strf" and avi.streams and avi.streams[-1].kind == b"vids" \
                and size >= BITMAP_HEADER.size:
            _, width, height, _, _, compression, _ = BITMAP_HEADER.unpack_from(data, body)
            stream = avi.streams[-1]
            stream.width, stream.height, stream.compression = width, abs(height), compression
        elif fourcc == b"idx1":
            count = size // INDEX_ENTRY.size
            avi.index = [IndexEntry(*INDEX_ENTRY.unpack_from(data, body + i * INDEX_ENTRY.size))
                         for i in range(count)]


def _read_movi(data, start, end, avi):
    for fourcc, offset, body, size in _chunks(data, start, end):
        if fourcc == b"LIST":  # 'rec ' groups
            _read_movi(data, body + LIST_TYPE_SIZE, body + size, avi)
        elif fourcc != b"JUNK":
            avi.chunks.append(Chunk(fourcc, offset, data[body:body + size]))
