"""Where JPEG pictures end, and which NAL units an H.264 access unit in Annex B holds."""

SOI = b"\xff\xd8"
START_CODE = b"\x00\x00\x01"
MARKER_PREFIX = 0xFF
EOI, SOS, TEM = 0xD9, 0xDA, 0x01
RST0, RST7 = 0xD0, 0xD7
STUFFED = 0x00
LENGTH_SIZE = 2
NAL_TYPE_MASK = 0x1F
IDR_SLICE = 5
CODED_SLICE_TYPES = range(1, IDR_SLICE + 1)


def _stands_alone(marker):
    return marker == TEM or RST0 <= marker <= RST7


def _skip_entropy_coded(data, position):
    """The offset of the first marker after the scan data at position, or None."""
    while True:
        position = data.find(bytes([MARKER_PREFIX]), position)
        if position < 0 or position + 1 >= len(data):
            return None
        following = data[position + 1]
        if following == MARKER_PREFIX:  # fill byte before a marker
            position += 1
        elif following == STUFFED or RST0 <= following <= RST7:
            position += 2
        else:
            return position


def jpeg_end(data, start=0):
    """The offset just past the EOI of the JPEG beginning at start, or None when there is no
    whole JPEG there. Segments are stepped over by their lengths, so an FF D9 inside one (a
    comment, a thumbnail) does not end the picture."""
    if data[start:start + len(SOI)] != SOI:
        return None
    position = start + len(SOI)
    while position is not None and position + 1 < len(data):
        if data[position] != MARKER_PREFIX:
            return None
        marker = data[position + 1]
        if marker == MARKER_PREFIX:
            position += 1
        elif marker == EOI:
            return position + 2
        elif _stands_alone(marker):
            position += 2
        else:
            if position + 2 + LENGTH_SIZE > len(data):
                return None
            position += 2 + int.from_bytes(data[position + 2:position + 4], "big")
            if marker == SOS:
                position = _skip_entropy_coded(data, position)
    return None


def split_jpegs(data):
    """The JPEGs of a stream of them back to back; what follows the last whole one is left."""
    pictures, position = [], 0
    while (end := jpeg_end(data, position)) is not None:
        pictures.append(data[position:end])
        position = end
    return pictures


def trimmed_jpeg(data):
    """A chunk's JPEG without what its writer padded after the EOI, or None when it holds none."""
    end = jpeg_end(data)
    return None if end is None else data[:end]


def nal_types(access_unit):
    """The type of each NAL unit of an Annex B access unit, in order."""
    types = []
    position = access_unit.find(START_CODE)
    while position >= 0 and position + len(START_CODE) < len(access_unit):
        types.append(access_unit[position + len(START_CODE)] & NAL_TYPE_MASK)
        position = access_unit.find(START_CODE, position + len(START_CODE))
    return types


def has_picture(access_unit):
    return any(kind in CODED_SLICE_TYPES for kind in nal_types(access_unit))


def has_idr(access_unit):
    return IDR_SLICE in nal_types(access_unit)
