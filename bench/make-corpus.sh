#!/usr/bin/env bash
# Rebuilds the benchmark corpus from photographs and a painting that Debian's mate-backgrounds
# package ships (GPL-2+, see /usr/share/doc/mate-backgrounds/copyright), converted with
# ImageMagick (and optipng for single-filter files). Nothing it makes is committed; it lands
# in the build tree.
#
# Usage: bench/make-corpus.sh [OUT_DIR]   (default build/bench/bench-corpus)
# The filter-type histograms come from png_filter_histogram of the bench build
# (VELAPNG_FILTER_HISTOGRAM, default build/bench/bench/png_filter_histogram).
#
# Five sets, one directory each:
#   adaptive  photographs of 4-12 megapixels, 8-bit RGB and RGBA, saved as users' files are:
#             by ImageMagick with its defaults, so libpng picks each row's filter
#   photo   large photographs as 8-bit RGB and RGBA at zlib levels 1, 6, 9 and with every
#           filter strategy (none, sub, up, average, Paeth, adaptive)
#   colour  one photograph in every other colour type and depth PNG has
#   adam7   interlaced images
#   icons   64x64 and smaller, where per-call set-up dominates
# Every file's header is checked against the format it was meant to have, and the adaptive
# set's rows must be mostly Paeth and Average, as in photographs from outside, so a change in
# ImageMagick's choices fails here instead of quietly benchmarking something else.
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-build/bench/bench-corpus}
backgrounds=/usr/share/backgrounds/mate
stamp="$out/.complete"
recipe_hash=$(sha256sum "$0" | cut -c1-16)
histogram=${VELAPNG_FILTER_HISTOGRAM:-build/bench/bench/png_filter_histogram}

if [[ -f $stamp && $(cat "$stamp") == "$recipe_hash" ]]; then
  echo "make-corpus: $out is up to date"
  exit 0
fi
for tool in convert optipng od; do
  command -v "$tool" >/dev/null || { echo "make-corpus: $tool missing (scripts/setup.sh bench)" >&2; exit 1; }
done
[[ -d $backgrounds ]] || { echo "make-corpus: $backgrounds missing (scripts/setup.sh bench)" >&2; exit 1; }
[[ -x $histogram ]] || { echo "make-corpus: $histogram missing (cmake --build --preset bench)" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out"/{adaptive,photo,colour,adam7,icons}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

wood=$backgrounds/nature/Wood.jpg            # 2560x1920 photograph, fine texture
garden=$backgrounds/nature/Garden.jpg        # 2560x1600 photograph, soft background
storm=$backgrounds/nature/Storm.jpg          # 1920x1280 photograph, smooth sky
ladybird=$backgrounds/nature/LadyBird.jpg    # 2560x1600 photograph
aqua=$backgrounds/nature/Aqua.jpg            # 2560x1600 photograph
yellowflower=$backgrounds/nature/YellowFlower.jpg  # 2560x1600 photograph
twowings=$backgrounds/nature/TwoWings.jpg    # 2560x1600 photograph
blinds=$backgrounds/nature/Blinds.jpg        # 1920x1200 photograph, the one libpng filters with Average
elephants8=$backgrounds/abstract/Elephants_3840x2160.jpg  # 8.3 megapixel painting
elephants=$backgrounds/abstract/Elephants_5640x3172.jpg  # 17.9 megapixel painting

# bit depth, colour type and interlace method of a PNG, as "depth/type/interlace"
header_of() {
  local bytes
  read -r -a bytes <<<"$(od -An -tu1 -j24 -N5 "$1")"
  echo "${bytes[0]}/${bytes[1]}/${bytes[4]}"
}

check() {
  local file=$1 want=$2 got
  got=$(header_of "$file")
  [[ $got == "$want" ]] || { echo "make-corpus: $file is $got, wanted $want (depth/type/interlace)" >&2; exit 1; }
}

# An alpha channel like a cut-out's: opaque middle, soft edge, transparent corners.
vignette() {  # WIDTH HEIGHT OUT
  convert -size "${1}x${2}" radial-gradient:white-black -level 30%,60% "$3"
}

with_alpha() {  # IN MASK OUT
  convert "$1" "$2" -alpha off -compose CopyOpacity -composite "$3"
}

# png FILE DEPTH/TYPE/INTERLACE LEVEL INPUT [convert options...] [PNG24: etc.]
# Adaptive filtering at zlib level LEVEL. An argument like PNG24: is ImageMagick's output
# format prefix and goes before the file name.
png() {
  local file=$1 want=$2 level=$3 input=$4 prefix="PNG:" arg
  local options=()
  shift 4
  for arg in "$@"; do
    if [[ $arg =~ ^PNG[0-9]*:$ ]]; then prefix=$arg; else options+=("$arg"); fi
  done
  convert "$input" -strip "${options[@]}" -define png:compression-level="$level" \
    -define png:compression-filter=5 -define png:exclude-chunks=date,time "$prefix$file"
  check "$file" "$want"
}

# ImageMagick 6.9 writes no single filter type on request (1 to 4 all come out as none), so
# images with one filter on every row are re-encoded by optipng from the adaptive one: zlib
# level 6, default strategy, no colour-type or depth reduction.
refilter() {  # IN OUT FILTER
  optipng -quiet -nx -f"$3" -zc6 -zm8 -zs0 -zw32k -force -out "$2" "$1"
  check "$2" "$(header_of "$1")"
}

source_rgb() {  # SOURCE NAME [resize]: an 8-bit RGB master in the work directory
  convert "$1" ${3:+-resize "$3"} -strip -depth 8 "$work/$2.ppm"
}

source_rgba() {  # SOURCE NAME [resize]
  source_rgb "$1" "$2-rgb" "${3:-}"
  local size
  size=$(convert "$work/$2-rgb.ppm" -format '%w %h' info:)
  vignette ${size} "$work/$2-mask.pgm"
  with_alpha "$work/$2-rgb.ppm" "$work/$2-mask.pgm" "$work/$2.miff"
}

echo "make-corpus: adaptive set"
# ImageMagick's defaults: its zlib level (7) and libpng's choice of filter per row. libpng's
# own defaults were checked with a writer of ours: the same filtered rows byte for byte
# (Wood), only zlib level 6, so the set needs no second encoder. Its metadata chunks stay,
# as in users' files, all but the time stamps, so the files come out the same every time.
saved() {  # OUT DEPTH/TYPE/INTERLACE INPUT [convert options...]
  local file=$1 want=$2 input=$3
  shift 3
  convert "$input" "$@" -define png:exclude-chunks=date,time "$file"
  check "$file" "$want"
}
# 4000x3000, like a 12-megapixel camera's: 2000x1500 from the middle of four photographs.
for name in wood ladybird aqua yellowflower; do
  convert "${!name}" -gravity center -crop 2000x1500+0+0 +repage "$work/tile-$name.ppm"
done
convert \( "$work/tile-wood.ppm" "$work/tile-ladybird.ppm" +append \) \
  \( "$work/tile-aqua.ppm" "$work/tile-yellowflower.ppm" +append \) -append +repage "$work/mosaic.ppm"
vignette 4000 3000 "$work/mosaic-mask.pgm"
with_alpha "$work/mosaic.ppm" "$work/mosaic-mask.pgm" "$work/mosaic-a.miff"
vignette 2560 1600 "$work/wide-mask.pgm"
ad=$out/adaptive
for name in wood ladybird aqua yellowflower; do saved "$ad/$name-rgb8.png" 8/2/0 "${!name}"; done
# Blinds and its mirror image side by side: 3840x1200, rows still nearly all Average.
saved "$ad/blinds-rgb8.png" 8/2/0 "$blinds" \( +clone -flop \) +append +repage
saved "$ad/elephants-rgb8.png" 8/2/0 "$elephants8"
saved "$ad/mosaic-rgb8.png" 8/2/0 "$work/mosaic.ppm"
for name in garden twowings; do
  with_alpha "${!name}" "$work/wide-mask.pgm" "$work/$name-a.miff"
  saved "$ad/$name-rgba8.png" 8/6/0 "$work/$name-a.miff"
done
saved "$ad/mosaic-rgba8.png" 8/6/0 "$work/mosaic-a.miff"
# Photographs from outside have 40-90% Paeth rows, some 75% Average.
"$histogram" --min-paeth-average 75 "$ad"/*.png

echo "make-corpus: photo set"
filter_names=(none sub up average paeth adaptive)
source_rgb "$wood" wood
source_rgba "$wood" wood-a
for level in 1 6 9; do
  png "$out/photo/wood-rgb8-l$level-adaptive.png" 8/2/0 "$level" "$work/wood.ppm" PNG24:
  png "$out/photo/wood-rgba8-l$level-adaptive.png" 8/6/0 "$level" "$work/wood-a.miff" PNG32:
done
for filter in 0 1 2 3 4; do
  refilter "$out/photo/wood-rgb8-l6-adaptive.png" "$out/photo/wood-rgb8-l6-${filter_names[filter]}.png" "$filter"
done
for filter in 0 4; do
  refilter "$out/photo/wood-rgba8-l6-adaptive.png" "$out/photo/wood-rgba8-l6-${filter_names[filter]}.png" "$filter"
done
for name in garden storm; do
  source="${!name}"
  source_rgb "$source" "$name"
  source_rgba "$source" "$name-a"
  png "$out/photo/$name-rgb8-l6-adaptive.png" 8/2/0 6 "$work/$name.ppm" PNG24:
  png "$out/photo/$name-rgb8-l9-adaptive.png" 8/2/0 9 "$work/$name.ppm" PNG24:
  png "$out/photo/$name-rgba8-l6-adaptive.png" 8/6/0 6 "$work/$name-a.miff" PNG32:
done
source_rgb "$elephants" elephants
source_rgba "$elephants" elephants-a
png "$out/photo/elephants-rgb8-l6-adaptive.png" 8/2/0 6 "$work/elephants.ppm" PNG24:
png "$out/photo/elephants-rgba8-l6-adaptive.png" 8/6/0 6 "$work/elephants-a.miff" PNG32:

"$histogram" "$out"/photo/*.png

echo "make-corpus: colour set"
# 16-bit masters come from resizing in ImageMagick's 16-bit pipeline, so the low bytes
# carry real detail rather than a copy of the high byte.
convert "$garden" -resize 1280x -strip -depth 16 "$work/c16.miff"
convert "$work/c16.miff" -depth 8 "$work/c.ppm"
vignette 1280 800 "$work/c-mask.pgm"
with_alpha "$work/c.ppm" "$work/c-mask.pgm" "$work/ca.miff"
with_alpha "$work/c16.miff" "$work/c-mask.pgm" "$work/ca16.miff"
convert "$work/c.ppm" -colorspace gray "$work/g.pgm"
with_alpha "$work/g.pgm" "$work/c-mask.pgm" "$work/ga.miff"
convert "$work/c16.miff" -colorspace gray "$work/g16.miff"
with_alpha "$work/g16.miff" "$work/c-mask.pgm" "$work/ga16.miff"
c=$out/colour
png "$c/grey1-dither.png" 1/0/0 6 "$work/g.pgm" -monochrome -define png:bit-depth=1 -define png:color-type=0
png "$c/grey2.png" 2/0/0 6 "$work/g.pgm" -posterize 4 -define png:bit-depth=2 -define png:color-type=0
png "$c/grey4.png" 4/0/0 6 "$work/g.pgm" -posterize 16 -define png:bit-depth=4 -define png:color-type=0
png "$c/grey8.png" 8/0/0 6 "$work/g.pgm" -define png:bit-depth=8 -define png:color-type=0
png "$c/grey8-key.png" 8/0/0 6 "$work/g.pgm" -fill black -draw 'rectangle 0,0 200,200' -transparent black \
  -define png:bit-depth=8 -define png:color-type=0
png "$c/grey16.png" 16/0/0 6 "$work/g16.miff" -define png:bit-depth=16 -define png:color-type=0
png "$c/palette1.png" 1/3/0 6 "$work/c.ppm" -colors 2 -define png:bit-depth=1 -define png:color-type=3
png "$c/palette2.png" 2/3/0 6 "$work/c.ppm" -colors 4 -define png:bit-depth=2 -define png:color-type=3
png "$c/palette4.png" 4/3/0 6 "$work/c.ppm" -colors 16 -define png:bit-depth=4 -define png:color-type=3
png "$c/palette8.png" 8/3/0 6 "$work/c.ppm" -colors 256 -define png:bit-depth=8 -define png:color-type=3
png "$c/palette8-trns.png" 8/3/0 6 "$work/ca.miff" -colors 255 PNG8:
png "$c/grey-alpha8.png" 8/4/0 6 "$work/ga.miff" -define png:bit-depth=8 -define png:color-type=4
png "$c/grey-alpha16.png" 16/4/0 6 "$work/ga16.miff" -define png:bit-depth=16 -define png:color-type=4
png "$c/rgb8-key.png" 8/2/0 6 "$work/c.ppm" -fill black -draw 'rectangle 0,0 200,200' -transparent black \
  -define png:bit-depth=8 -define png:color-type=2
png "$c/rgb16.png" 16/2/0 6 "$work/c16.miff" PNG48:
png "$c/rgba16.png" 16/6/0 6 "$work/ca16.miff" PNG64:

echo "make-corpus: adam7 set"
source_rgb "$storm" s
source_rgba "$storm" sa
convert "$storm" -strip -depth 16 "$work/s16.miff"
a=$out/adam7
png "$a/rgb8.png" 8/2/1 6 "$work/s.ppm" -interlace PNG PNG24:
png "$a/rgba8.png" 8/6/1 6 "$work/sa.miff" -interlace PNG PNG32:
png "$a/grey8.png" 8/0/1 6 "$work/s.ppm" -colorspace gray -interlace PNG -define png:bit-depth=8 -define png:color-type=0
png "$a/palette8.png" 8/3/1 6 "$work/s.ppm" -colors 256 -interlace PNG -define png:bit-depth=8 -define png:color-type=3
png "$a/grey1.png" 1/0/1 6 "$work/s.ppm" -colorspace gray -monochrome -interlace PNG -define png:bit-depth=1 \
  -define png:color-type=0
png "$a/rgb16.png" 16/2/1 6 "$work/s16.miff" -interlace PNG PNG48:

echo "make-corpus: icons"
convert "$ladybird" -gravity center -crop 1200x1200+0+0 +repage "$work/square.ppm"
convert "$garden" -gravity center -crop 1400x1400+300+0 +repage "$work/square2.ppm"
for size in 16 32 48 64; do
  convert "$work/square.ppm" -resize "${size}x${size}" "$work/i$size.ppm"
  vignette "$size" "$size" "$work/i$size-mask.pgm"
  with_alpha "$work/i$size.ppm" "$work/i$size-mask.pgm" "$work/i$size.miff"
  png "$out/icons/rgba8-$size.png" 8/6/0 9 "$work/i$size.miff" PNG32:
done
convert "$work/square2.ppm" -resize 24x24 "$work/j24.ppm"
convert "$work/square2.ppm" -resize 64x64 "$work/j64.ppm"
png "$out/icons/palette8-trns-16.png" 8/3/0 9 "$work/i16.miff" -colors 255 PNG8:
png "$out/icons/palette8-trns-32.png" 8/3/0 9 "$work/i32.miff" -colors 255 PNG8:
png "$out/icons/palette4-24.png" 4/3/0 9 "$work/j24.ppm" -colors 16 -define png:bit-depth=4 -define png:color-type=3
png "$out/icons/grey8-32.png" 8/0/0 9 "$work/i32.ppm" -colorspace gray -define png:bit-depth=8 -define png:color-type=0
png "$out/icons/grey-alpha8-48.png" 8/4/0 9 "$work/i48.miff" -colorspace gray -define png:bit-depth=8 \
  -define png:color-type=4
png "$out/icons/rgb8-64.png" 8/2/0 9 "$work/j64.ppm" PNG24:
png "$out/icons/rgba8-32-adam7.png" 8/6/1 9 "$work/i32.miff" -interlace PNG PNG32:

cat >"$out/SOURCES.txt" <<EOF
Made by bench/make-corpus.sh from Debian's mate-backgrounds $(dpkg-query -W -f='${Version}' mate-backgrounds)
(GPL-2+; /usr/share/doc/mate-backgrounds/copyright) with $(convert -version | head -1)
EOF
echo "$recipe_hash" >"$stamp"
echo "make-corpus: $(find "$out" -name '*.png' | wc -l) images in $out"
