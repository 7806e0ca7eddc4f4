"""Prints the file and product versions of a Windows binary's VERSIONINFO
resource ("1.0.1.0 1.0.1.0"), read from its VS_FIXEDFILEINFO block."""
import struct
import sys

data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    sys.exit("%s: no version resource" % sys.argv[1])
_, _, file_ms, file_ls, prod_ms, prod_ls = struct.unpack_from("<6I", data, at)


def dotted(ms, ls):
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


print(dotted(file_ms, file_ls), dotted(prod_ms, prod_ls))
