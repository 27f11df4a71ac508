#!/usr/bin/env python3
# make_icons.py - draws the plug-in icons (32x32 RGBA PNG) into res/; run again after changing a design.
import math
import os
import struct
import sys
import zlib

SIZE = 32


def png(path, pixels):
	raw = b"".join(b"\x00" + bytes(row) for row in pixels)

	def chunk(kind, data):
		return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

	data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
	data += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
	with open(path, "wb") as f:
		f.write(data)


def inside_drop(x, y):
	# A water drop: a circle at the bottom with a point at the top.
	cx, cy, r = 15.5, 19.0, 10.0
	if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
		return True
	if 2 <= y < cy:
		half = r * (y - 2) / (cy - 2)
		return abs(x - cx) <= half
	return False


def draw(colour, mark, outgoing):
	rows = []
	for y in range(SIZE):
		row = []
		for x in range(SIZE):
			if not inside_drop(x, y):
				row += [0, 0, 0, 0]
				continue
			shade = 0.65 + 0.35 * (1.0 - y / SIZE)
			r, g, b = (int(c * shade) for c in colour)
			on = False
			if mark == "dots":
				on = (x % 6 in (2, 3)) and (y % 6 in (2, 3)) and y > 8
			elif mark == "grid":
				on = (x % 6 == 2 or y % 6 == 2) and y > 8
			elif mark == "box":
				on = 10 <= x <= 21 and 13 <= y <= 24 and (x in (10, 21) or y in (13, 24))
			if on:
				r, g, b = 250, 250, 250
			row += [r, g, b, 255]
		rows.append(row)
	# The arrow says which way the data goes: down into the scene, or up out of it.
	for i in range(5):
		for x in range(26 - i, 27 + i):
			y = (27 + i) if not outgoing else (4 + i)
			if 0 <= y < SIZE:
				rows[y][x * 4 : x * 4 + 4] = [255, 255, 255, 255]
	return rows


ICONS = {
	"TW_Particle_Importer.png": ((40, 120, 230), "dots", False),
	"TW_Particle_Exporter.png": ((40, 120, 230), "dots", True),
	"TW_Mesh_Importer.png": ((230, 130, 30), "grid", False),
	"TW_Mesh_Exporter.png": ((230, 130, 30), "grid", True),
	"TW_SD_Importer.png": ((40, 170, 90), "box", False),
	"TW_SD_Exporter.png": ((40, 170, 90), "box", True),
}

if __name__ == "__main__":
	out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "res")
	for name, (colour, mark, outgoing) in ICONS.items():
		png(os.path.join(out, name), draw(colour, mark, outgoing))
