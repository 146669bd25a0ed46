#!/bin/sh
# Draws skin.bmp, the hello Skivet's window: a rounded panel on magenta, the colour that
# SETSHAPEBMP cuts away (it is the top-left pixel). Without antialiasing, so no edge pixel is
# nearly magenta and left standing. Needs ImageMagick; the result is checked in.
cd "$(dirname "$0")" || exit 1
convert -size 260x150 xc:'#ff00ff' +antialias \
  -fill '#24324a' -draw 'roundrectangle 0,0 260,150 22,22' \
  -fill '#f0a030' -draw 'roundrectangle 12,68 160,80 6,6' \
  -fill '#3d5a80' -draw 'rectangle 12,96 160,98' \
  -fill '#3d5a80' -draw 'rectangle 12,108 120,110' \
  -fill '#3d5a80' -draw 'rectangle 12,120 140,122' \
  -type TrueColor BMP3:skin.bmp
