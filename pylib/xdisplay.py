"""blitshow's 640x480 window read back from the X server on $DISPLAY."""
import re
import struct
import subprocess

WIDTH, HEIGHT = 640, 480
# A line of `xwininfo -tree`: "... 640x480+0+0  +0+0", the last pair absolute.
GEOMETRY = re.compile(r"(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$")


def window_position():
    """Absolute position of the first 640x480 window, or None if there is none."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True,
                          check=True, timeout=30).stdout
    for line in tree.splitlines():
        m = GEOMETRY.search(line)
        if m and (int(m[1]), int(m[2])) == (WIDTH, HEIGHT):
            return int(m[3]), int(m[4])
    return None


def grab():
    """The window's pixels as WIDTH*HEIGHT (r, g, b) tuples, row by row, or None."""
    where = window_position()
    if where is None:
        return None
    xwd = subprocess.run(["xwd", "-root", "-silent"], capture_output=True, check=True,
                         timeout=30).stdout
    (header_size, _, _, _, width, height, _, byte_order, _, _, _, bits, stride, _,
     red, green, blue, _, _, colours) = struct.unpack(">20I", xwd[:80])
    if bits not in (24, 32):
        raise RuntimeError(f"only 24 or 32 bits per pixel are read, not {bits}")
    size = bits // 8
    order = "little" if byte_order == 0 else "big"
    shifts = [(mask, (mask & -mask).bit_length() - 1) for mask in (red, green, blue)]
    data = xwd[header_size + 12 * colours:]
    x0, y0 = where
    assert x0 + WIDTH <= width and y0 + HEIGHT <= height
    # Each channel a whole byte of the pixel, as Xvfb's are: read by slicing.
    whole = [size - 1 - shift // 8 if order == "big" else shift // 8
             for mask, shift in shifts if mask >> shift == 255 and shift % 8 == 0]
    if len(whole) != 3:
        raise RuntimeError("only channels of a whole byte each are read")
    return [pixel for y in range(y0, y0 + HEIGHT)
            for pixel in zip(*(data[y * stride + size * x0 + at:y * stride + size * (x0 + WIDTH)
                                    :size] for at in whole))]

