#!/bin/sh
# Draws the program icon, src/app/resources/tarrow.ico: a page with a folded
# corner and a blue arrow. Every size is drawn from the same shapes, laid out
# on a 32-unit grid whose edges fall on whole pixels at 16 and 32, so the
# small sizes are crisp; from 48 up the shapes are supersampled for smooth
# diagonals. Besides the 32-bit images (256 stored as PNG) there is a 32 x 32
# image in the 16 standard colours, for displays and tools that want one.
# Needs ImageMagick and awk; the output depends on nothing else.
# usage: scripts/make-icon.sh [OUTPUT.ico]
set -eu
cd "$(dirname "$0")/.."
out=${1:-src/app/resources/tarrow.ico}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# draw SIZE STYLE: an ImageMagick pixel enumeration of the icon.
# STYLE "full" is the 32-bit look; "vga" keeps to the 16-colour palette.
draw() {
  awk -v N="$1" -v style="$2" '
  function inpoly(px, py, xs, ys, n,   i, j, c) {
    c = 0
    for (i = 0; i < n; i++) {
      j = (i + n - 1) % n
      if (((ys[i] > py) != (ys[j] > py)) &&
          (px < (xs[j] - xs[i]) * (py - ys[i]) / (ys[j] - ys[i]) + xs[i])) c = !c
    }
    return c
  }
  function segdist(px, py, ax, ay, bx, by,   dx, dy, t, qx, qy) {
    dx = bx - ax; dy = by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    if (t < 0) t = 0
    if (t > 1) t = 1
    qx = ax + t * dx - px; qy = ay + t * dy - py
    return sqrt(qx * qx + qy * qy)
  }
  function edgedist(px, py, xs, ys, n,   i, j, d, best) {
    best = 1e9
    for (i = 0; i < n; i++) {
      j = (i + 1) % n
      d = segdist(px, py, xs[i], ys[i], xs[j], ys[j])
      if (d < best) best = d
    }
    return best
  }
  function hex(h, k) { return index("0123456789abcdef", substr(h, k, 1)) - 1 }
  function setrgb(h, a) {
    R = hex(h, 1) * 16 + hex(h, 2); G = hex(h, 3) * 16 + hex(h, 4)
    B = hex(h, 5) * 16 + hex(h, 6); A = a
  }
  function mix(h1, h2, t,   r1, g1, b1) {
    setrgb(h1, 255); r1 = R; g1 = G; b1 = B
    setrgb(h2, 255)
    R = r1 + (R - r1) * t; G = g1 + (G - g1) * t; B = b1 + (B - b1) * t
  }
  # Whether (x, y) lies on the rim of a shape. Small sizes draw the rim as
  # pixels whose neighbour across a side is outside, so each edge, even a
  # diagonal one, is one crisp pixel wide; larger ones by distance.
  function rim(x, y, xs, ys, n) {
    if (ss > 1) return edgedist(x, y, xs, ys, n) < wl
    return !inpoly(x - wl, y, xs, ys, n) || !inpoly(x + wl, y, xs, ys, n) ||
           !inpoly(x, y - wl, xs, ys, n) || !inpoly(x, y + wl, xs, ys, n)
  }
  # The colour at one sample point (grid units); sets R G B A.
  function sample(x, y,   t) {
    R = G = B = A = 0
    if (inpoly(x, y, ax, ay, an)) {
      if (rim(x, y, ax, ay, an)) { setrgb(c["arrowEdge"], 255); return }
      if (vga) { setrgb(c["arrow"], 255); return }
      t = (y - 12) / 20
      mix(c["arrowTop"], c["arrow"], t); return
    }
    if (!inpoly(x, y, px, py, pn)) return
    if (rim(x, y, px, py, pn)) { setrgb(c["pageEdge"], 255); return }
    if (inpoly(x, y, fx, fy, fn)) {
      if (rim(x, y, fx, fy, fn)) { setrgb(c["pageEdge"], 255); return }
      setrgb(c["fold"], 255); return
    }
    # The page text stops short of the arrow.
    if (lines && x >= 5 && ((y >= 7 && y < 8 && x < 13) || (y >= 11 && y < 12 && x < 19) ||
        (y >= 15 && y < 16 && x < 17) || (y >= 19 && y < 20 && x < 8) ||
        (y >= 23 && y < 24 && x < 8))) {
      setrgb(c["text"], 255); return
    }
    if (vga) { setrgb(c["page"], 255); return }
    mix(c["page"], c["pageBottom"], (y - 2) / 28)
  }
  BEGIN {
    vga = style == "vga"
    if (vga) {
      c["pageEdge"] = "000000"; c["page"] = "ffffff"; c["fold"] = "c0c0c0"
      c["text"] = "808080"; c["arrowEdge"] = "000080"; c["arrow"] = "0000ff"
    } else {
      c["pageEdge"] = "58626e"; c["page"] = "ffffff"; c["pageBottom"] = "e9eef4"
      c["fold"] = "d5dce5"; c["text"] = "9aa7b6"
      c["arrowEdge"] = "0d4a96"; c["arrowTop"] = "5aaeff"; c["arrow"] = "1c6fd6"
    }
    # The page, its folded corner and the arrow, in grid units.
    # Diagonals run a quarter pixel off the pixel centres at 16 and 32, so
    # each column of a slope starts one pixel further on.
    pn = split("2 16.5 22 22 2", px, " "); split("2 2 7.5 30 30", py, " ")
    fn = split("16 16 22.5", fx, " "); split("1.5 8 8", fy, " ")
    an = split("10 20 20 30.5 20 20 10", ax, " "); split("18 18 11.5 22 32.5 26 26", ay, " ")
    # Smooth sizes need no such offsets; their arrow head keeps inside.
    if (N > 32) { split("10 20 20 29.5 20 20 10", ax, " "); split("18 18 12.5 22 31.5 26 26", ay, " ") }
    for (i = 1; i <= pn; i++) { px[i - 1] = px[i]; py[i - 1] = py[i] }
    for (i = 1; i <= fn; i++) { fx[i - 1] = fx[i]; fy[i - 1] = fy[i] }
    for (i = 1; i <= an; i++) { ax[i - 1] = ax[i]; ay[i - 1] = ay[i] }
    s = N / 32                        # pixels per grid unit
    ss = N > 32 ? 4 : 1               # samples per pixel, each way
    lines = N >= 24                   # the page text is noise below that
    wl = (N > 32 ? N / 36 : 1) / s    # outline width (small sizes: a pixel), in grid units
    printf "# ImageMagick pixel enumeration: %d,%d,255,srgba\n", N, N
    for (j = 0; j < N; j++) for (i = 0; i < N; i++) {
      sr = sg = sb = sa = 0
      for (v = 0; v < ss; v++) for (u = 0; u < ss; u++) {
        # (The nudge settles points that fall exactly on an edge.)
        sample((i + (u + 0.5) / ss + 1e-4) / s, (j + (v + 0.5) / ss + 2e-4) / s)
        sr += R * A; sg += G * A; sb += B * A; sa += A
      }
      if (sa > 0) { sr /= sa; sg /= sa; sb /= sa }
      printf "%d,%d: (%d,%d,%d,%d)\n", i, j, sr + 0.5, sg + 0.5, sb + 0.5, sa / (ss * ss) + 0.5
    }
  }'
}

layers=""
for size in 16 24 32 48 64 256; do
  draw "$size" full >"$work/$size.txt"
  convert "txt:$work/$size.txt" -define png:color-type=6 "PNG32:$work/$size.png"
  layers="$layers $work/$size.png"
done
draw 32 vga >"$work/32-vga.txt"

# The 16-colour image first, as older programs look for it there. It uses
# fewer than 16 colours, so quantizing only builds the palette (4 bits per
# pixel in the file); it changes no pixel.
# shellcheck disable=SC2086
convert \( "txt:$work/32-vga.txt" +dither -colors 16 \) $layers "$out"
identify "$out"
