#!/usr/bin/env bash
# Draws the installer window's artwork with ImageMagick and DejaVu fonts:
#   background.jpg     450 x 304: title, credit line, a framed landscape and a
#                      round blue knob whose dark centre carries the button at 359, 210
#   button-normal.jpg  28 x 9: "Install" in light letters on black
#   button-hover.jpg   28 x 9: "Install" in red letters on black
# All baseline JFIF JPEGs, 8 bits, three colour components, 72 dots per inch.
# Run from anywhere: resources/make_artwork.sh (writes beside itself).
set -euo pipefail
cd "$(dirname "$0")"

jpeg=(-strip -colorspace sRGB -type TrueColor -interlace none -sampling-factor 2x2 -density 72 -units PixelsPerInch)

# The landscape: dusk sky, two mountain ridges, a lake with the sky's reflection.
convert -size 250x190 gradient:'#0b1a3a'-'#e08a4a' \
  -fill '#2a2f4a' -draw "polygon 0,120 40,80 70,100 110,55 150,95 190,70 250,110 250,190 0,190" \
  -fill '#161a2c' -draw "polygon 0,150 50,118 95,138 140,112 200,140 250,128 250,190 0,190" \
  \( -size 250x40 gradient:'#c07a4a'-'#10182c' \) -geometry +0+150 -composite \
  -fill '#ffe9b0' -draw "circle 190,40 190,48" \
  landscape.miff

# The knob: a blue disc with a soft highlight and a dark centre for the button.
convert -size 450x304 gradient:'#10131c'-'#050609' \
  -fill none -stroke '#3c4660' -strokewidth 1 -draw "line 20,52 430,52" \
  -font DejaVu-Sans-Bold -pointsize 22 -fill '#d8e2f4' -stroke none -draw "text 20,36 'Aurora Screensaver'" \
  -font DejaVu-Sans -pointsize 10 -fill '#8090b0' -draw "text 22,290 'Made with InstallerWin - artwork and screensaver by its developers'" \
  -fill '#000000' -draw "rectangle 16,64 276,264" \
  -fill '#2b2f3a' -draw "rectangle 18,66 274,262" \
  landscape.miff -geometry +21+69 -composite \
  -fill '#0d2a6e' -draw "circle 373,214 373,276" \
  -fill '#1d4fb8' -draw "circle 373,214 373,270" \
  -fill '#3d7ae0' -draw "circle 366,206 366,258" \
  -fill '#5b95f0' -draw "circle 356,196 356,224" \
  -fill '#1d4fb8' -draw "circle 373,214 373,246" \
  -fill '#0a0d16' -draw "circle 373,214 373,238" \
  -fill '#000000' -draw "rectangle 355,208 391,220" \
  "${jpeg[@]}" -quality 90 background.jpg
rm -f landscape.miff

for look in normal:'#e6e6e6' hover:'#ff2a2a'; do
  name=${look%%:*} colour=${look#*:}
  convert -size 28x9 xc:black -font DejaVu-Sans-Condensed-Bold -pointsize 8 -fill "$colour" \
    -gravity center -annotate +0+0 'Install' "${jpeg[@]}" -quality 92 "button-$name.jpg"
done
