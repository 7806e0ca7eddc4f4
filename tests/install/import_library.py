"""Lists what an import library in Microsoft's format (short import objects,
as lib.exe and llvm-dlltool write them) imports: one "DLL symbol" line per
function, sorted. Fails when a member is in another format or the file is no
archive."""
import struct
import sys

data = open(sys.argv[1], "rb").read()
if not data.startswith(b"!<arch>\n"):
    sys.exit("%s: not an archive" % sys.argv[1])
at = 8
names = []
while at + 60 <= len(data):
    header = data[at:at + 60]
    size = int(header[48:58])
    name = header[:16].rstrip()
    body = data[at + 60:at + 60 + size]
    at += 60 + size + (size & 1)
    if name in (b"/", b"//"):  # the symbol tables and the long-name table
        continue
    sig1, sig2, _version, machine = struct.unpack_from("<HHHH", body, 0)
    if (sig1, sig2) != (0, 0xFFFF):
        # The import descriptor and the null thunk are ordinary COFF objects.
        if body[:2] == b"\x64\x86":
            continue
        sys.exit("%s: member %r is neither a short import nor an AMD64 object" % (sys.argv[1], name))
    if machine != 0x8664:
        sys.exit("%s: a short import for machine 0x%x, not AMD64" % (sys.argv[1], machine))
    symbol, dll = body[20:].split(b"\0")[:2]
    names.append("%s %s" % (dll.decode(), symbol.decode()))
print("\n".join(sorted(names)))
