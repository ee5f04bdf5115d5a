"""Writes ZIP archives byte by byte, so that a case can hold exactly the fields that other
programs write (or get wrong): names in any encoding, extra fields, lying disk numbers and
sizes, comments. Every value the caller does not give is taken from the data."""
import calendar
import struct
import zlib

UNIX = 3
FAT = 0
NTFS = 11
FLAG_UTF8 = 0x0800


def dos_time(year, month, day, hour=0, minute=0, second=0):
    date = (year - 1980) << 9 | month << 5 | day
    clock = hour << 11 | minute << 5 | second // 2
    return clock, date


def extra_block(block_id, data):
    return struct.pack("<HH", block_id, len(data)) + data


def unicode_path(header_name, utf8_name, crc_of=None):
    """Info-ZIP Unicode Path (0x7075): version 1, CRC-32 of the header's name, the UTF-8 name."""
    crc = zlib.crc32(header_name if crc_of is None else crc_of)
    return extra_block(0x7075, struct.pack("<BI", 1, crc) + utf8_name)


def extended_timestamp(mtime):
    return extra_block(0x5455, struct.pack("<Bi", 1, mtime))


def infozip_unix(mtime, atime=None):
    """The old Info-ZIP Unix field (0x5855): access time, modification time (central form)."""
    return extra_block(0x5855, struct.pack("<ii", mtime if atime is None else atime, mtime))


class Entry:
    def __init__(self, name, data=b"", method=0, flags=0, made_by=(UNIX << 8) | 30, external=None,
                 extra=b"", local_extra=None, when=(2024, 5, 17, 10, 30, 0), disk=0, crc=None,
                 compressed=None, sizes=None, local_name=None):
        self.name = name if isinstance(name, bytes) else name.encode("utf-8")
        self.data = data
        self.method = method
        self.flags = flags
        self.made_by = made_by
        if external is None:
            external = (0o100644 << 16) if (made_by >> 8) == UNIX else 0x20
        self.external = external
        self.extra = extra
        self.local_extra = extra if local_extra is None else local_extra
        self.time, self.date = dos_time(*when)
        self.disk = disk
        self.crc = zlib.crc32(data) if crc is None else crc
        if compressed is None:
            if method == 8:
                packer = zlib.compressobj(9, zlib.DEFLATED, -15)
                compressed = packer.compress(data) + packer.flush()
            else:
                compressed = data
        self.compressed = compressed
        # (compressed, uncompressed) as the headers state them
        self.sizes = sizes if sizes is not None else (len(compressed), len(data))
        self.local_name = self.name if local_name is None else local_name


def build(entries, comment=b"", prefix=b""):
    out = bytearray(prefix)
    central = bytearray()
    for e in entries:
        offset = len(out) - len(prefix)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, e.flags, e.method, e.time, e.date, e.crc,
                           e.sizes[0], e.sizes[1], len(e.local_name), len(e.local_extra))
        out += e.local_name + e.local_extra + e.compressed
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, e.made_by, 20, e.flags, e.method, e.time,
                               e.date, e.crc, e.sizes[0], e.sizes[1], len(e.name), len(e.extra), 0, e.disk, 0,
                               e.external, offset)
        central += e.name + e.extra
    start = len(out) - len(prefix)
    out += central
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), start,
                       len(comment))
    out += comment
    return bytes(out)


def write(path, entries, comment=b"", prefix=b""):
    with open(path, "wb") as f:
        f.write(build(entries, comment, prefix))


def utc(year, month, day, hour=0, minute=0, second=0):
    return calendar.timegm((year, month, day, hour, minute, second, 0, 0, 0))


class ZipCrypto:
    """Traditional PKWARE encryption: three keys driven by CRC-32."""

    def __init__(self, password):
        self.keys = [0x12345678, 0x23456789, 0x34567890]
        for byte in password:
            self._update(byte)

    @staticmethod
    def _crc(value, byte):
        return (zlib.crc32(bytes([byte]), value ^ 0xFFFFFFFF) ^ 0xFFFFFFFF) & 0xFFFFFFFF

    def _update(self, byte):
        self.keys[0] = self._crc(self.keys[0], byte)
        self.keys[1] = (self.keys[1] + (self.keys[0] & 0xFF)) & 0xFFFFFFFF
        self.keys[1] = (self.keys[1] * 134775813 + 1) & 0xFFFFFFFF
        self.keys[2] = self._crc(self.keys[2], self.keys[1] >> 24)

    def _stream(self):
        temp = (self.keys[2] | 2) & 0xFFFF
        return ((temp * (temp ^ 1)) >> 8) & 0xFF

    def encrypt(self, data):
        out = bytearray()
        for byte in data:
            out.append(byte ^ self._stream())
            self._update(byte)
        return bytes(out)

    def decrypt(self, data):
        out = bytearray()
        for byte in data:
            plain = byte ^ self._stream()
            out.append(plain)
            self._update(plain)
        return bytes(out)


def zipcrypto_entry(name, data, password, method=8, header=b"\x5a" * 11, **fields):
    """An entry encrypted with the traditional method; the header's last byte checks the password."""
    plain = Entry(name, data, method=method, **fields)
    check = bytes([plain.crc >> 24])
    sealed = ZipCrypto(password).encrypt(header + check + plain.compressed)
    entry = Entry(name, data, method=method, flags=plain.flags | 1, compressed=sealed, crc=plain.crc, **fields)
    entry.sizes = (len(sealed), len(data))
    return entry


def passes_check(entry, password):
    """Whether password passes the one-byte check of an entry made by zipcrypto_entry."""
    return ZipCrypto(password).decrypt(entry.compressed[:12])[11] == entry.crc >> 24
