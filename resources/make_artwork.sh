#!/usr/bin/env bash
# Draws the installer window's artwork with ImageMagick and DejaVu fonts:
#   background.jpg     450 x 304: title, credit line, a framed landscape and a
#                      round blue knob whose dark centre carries the button at 359, 210
#   button-normal.jpg  28 x 9: "Install" in light letters on black
#   button-hover.jpg   28 x 9: "Install" in red letters on black
# and each again at double size, drawn afresh rather than enlarged, for dense
# screens: background-2x.jpg (900 x 608), button-normal-2x.jpg and
# button-hover-2x.jpg (56 x 18).
# All baseline JFIF JPEGs, 8 bits, three colour components, 72 dots per inch.
# Run from anywhere: resources/make_artwork.sh (writes beside itself).
set -euo pipefail
cd "$(dirname "$0")"

jpeg=(-strip -colorspace sRGB -type TrueColor -interlace none -sampling-factor 2x2 -density 72 -units PixelsPerInch)

# draw SCALE SUFFIX: the artwork with every length SCALE times the single size.
draw() {
  local s=$1 suffix=$2
  # x LENGTH...: the lengths at this scale, comma-joined in pairs as the draw primitives take them.
  x() {
    local out="" i=0 v
    for v in "$@"; do
      out+="$((v * s))"
      if [ $((++i % 2)) -eq 0 ]; then out+=" "; else out+=","; fi
    done
    echo "${out%[ ,]}"
  }

  # The landscape: dusk sky, two mountain ridges, a lake with the sky's reflection.
  convert -size "$(x 250)x$(x 190)" gradient:'#0b1a3a'-'#e08a4a' \
    -fill '#2a2f4a' -draw "polygon $(x 0 120 40 80 70 100 110 55 150 95 190 70 250 110 250 190 0 190)" \
    -fill '#161a2c' -draw "polygon $(x 0 150 50 118 95 138 140 112 200 140 250 128 250 190 0 190)" \
    \( -size "$(x 250)x$(x 40)" gradient:'#c07a4a'-'#10182c' \) -geometry "+0+$(x 150)" -composite \
    -fill '#ffe9b0' -draw "circle $(x 190 40 190 48)" \
    landscape.miff

  # The knob: a blue disc with a soft highlight and a dark centre for the button.
  convert -size "$(x 450)x$(x 304)" gradient:'#10131c'-'#050609' \
    -fill none -stroke '#3c4660' -strokewidth "$s" -draw "line $(x 20 52 430 52)" \
    -font DejaVu-Sans-Bold -pointsize "$(x 22)" -fill '#d8e2f4' -stroke none \
    -draw "text $(x 20 36) 'Aurora Screensaver'" \
    -font DejaVu-Sans -pointsize "$(x 10)" -fill '#8090b0' \
    -draw "text $(x 22 290) 'Made with InstallerWin - artwork and screensaver by its developers'" \
    -fill '#000000' -draw "rectangle $(x 16 64 276 264)" \
    -fill '#2b2f3a' -draw "rectangle $(x 18 66 274 262)" \
    landscape.miff -geometry "+$(x 21)+$(x 69)" -composite \
    -fill '#0d2a6e' -draw "circle $(x 373 214 373 276)" \
    -fill '#1d4fb8' -draw "circle $(x 373 214 373 270)" \
    -fill '#3d7ae0' -draw "circle $(x 366 206 366 258)" \
    -fill '#5b95f0' -draw "circle $(x 356 196 356 224)" \
    -fill '#1d4fb8' -draw "circle $(x 373 214 373 246)" \
    -fill '#0a0d16' -draw "circle $(x 373 214 373 238)" \
    -fill '#000000' -draw "rectangle $(x 355 208 391 220)" \
    "${jpeg[@]}" -quality 90 "background$suffix.jpg"
  rm -f landscape.miff

  local look name colour
  for look in normal:'#e6e6e6' hover:'#ff2a2a'; do
    name=${look%%:*} colour=${look#*:}
    convert -size "$(x 28)x$(x 9)" xc:black -font DejaVu-Sans-Condensed-Bold -pointsize "$(x 8)" -fill "$colour" \
      -gravity center -annotate +0+0 'Install' "${jpeg[@]}" -quality 92 "button-$name$suffix.jpg"
  done
}

draw 1 ""
draw 2 -2x
