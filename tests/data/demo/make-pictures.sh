#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Redraws the demo pictures with ImageMagick (seeded, so the scenes come out the same each time; the bytes
# may differ between ImageMagick versions). Run it in this folder.
set -e
W=560 H=420
sky() { # seed top bottom
  convert -seed "$1" -size ${W}x${H} gradient:"$2"-"$3" \
    \( -size ${W}x${H} plasma:"$2"-"$3" -blur 0x0.6 \) -compose blend -define compose:args=45 -composite "$4"
}

sky 11 '#ff9a3c' '#5b2a86' /tmp/fk-sky.png
convert /tmp/fk-sky.png -fill '#ffd27f' -draw "circle 280,270 280,215" \
  -fill '#2c1a3f' -draw "polygon 0,420 0,320 120,280 240,335 360,265 560,330 560,420" -quality 92 sunset.jpg

sky 12 '#8fd3ff' '#e8f6ff' /tmp/fk-sky.png
convert /tmp/fk-sky.png -fill '#6d7f99' -draw "polygon 0,300 140,110 250,240 330,150 560,300" \
  -fill white -draw "polygon 115,141 140,110 165,141 150,135 140,145 128,134" \
  -fill '#2e6f9e' -draw "rectangle 0,300 560,420" -fill '#4f8fbf' -draw "polygon 0,300 140,390 250,320 330,370 560,300" \
  -quality 92 mountain-lake.jpg

sky 13 '#a9d8ff' '#ffffff' /tmp/fk-sky.png
convert /tmp/fk-sky.png -fill '#4caf50' -draw "rectangle 0,250 560,420" \
  \( -seed 14 -size ${W}x170 plasma:'#3e8e41'-'#c5e1a5' \) -geometry +0+250 -compose over -composite \
  -fill '#ffeb3b' -draw "circle 90,330 90,322" -fill '#e91e63' -draw "circle 200,360 200,351" \
  -fill '#ffffff' -draw "circle 330,310 330,303" -fill '#ff9800' -draw "circle 450,380 450,370" \
  -colors 128 meadow.gif

sky 15 '#ffcc80' '#0d47a1' /tmp/fk-sky.png
convert /tmp/fk-sky.png -fill '#1565c0' -draw "rectangle 0,260 560,420" \
  \( -seed 16 -size ${W}x160 plasma:'#0d47a1'-'#90caf9' -blur 0x0.8 \) -geometry +0+260 -compose blend \
  -define compose:args=60 -composite -fill '#d7ccc8' -draw "polygon 360,420 420,250 470,240 560,230 560,420" \
  -quality 92 coast.jpg

sky 21 '#1b5e20' '#a5d6a7' /tmp/fk-sky.png
convert /tmp/fk-sky.png -fill '#e65100' -draw "ellipse 280,260 120,70 0,360" \
  -draw "polygon 180,230 150,150 225,205" -draw "polygon 380,230 410,150 335,205" \
  -fill white -draw "polygon 230,300 280,330 330,300 280,315" -fill black -draw "circle 245,245 245,236" \
  -draw "circle 315,245 315,236" -draw "circle 280,290 280,283" -quality 92 fox.jpg

sky 22 '#263238' '#607d8b' /tmp/fk-sky.png
convert /tmp/fk-sky.png -fill '#8d6e63' -draw "ellipse 280,240 110,150 0,360" \
  -fill '#d7ccc8' -draw "ellipse 280,270 70,100 0,360" -fill '#ffca28' -draw "circle 235,180 235,150" \
  -draw "circle 325,180 325,150" -fill black -draw "circle 235,180 235,165" -draw "circle 325,180 325,165" \
  -fill '#ff8f00' -draw "polygon 268,205 292,205 280,235" -colors 128 owl.gif

sky 23 '#b3e5fc' '#e1f5fe' /tmp/fk-sky.png
convert /tmp/fk-sky.png -fill '#78909c' -draw "ellipse 260,200 90,45 0,360" \
  -draw "polygon 330,190 400,90 415,95 350,200" -draw "circle 405,92 405,80" \
  -fill '#ff8f00' -draw "polygon 415,88 470,95 415,98" -stroke '#37474f' -strokewidth 5 \
  -draw "line 250,240 240,380" -draw "line 275,240 285,380" -quality 92 heron.jpg

sky 31 '#f8bbd0' '#fff3e0' /tmp/fk-sky.png
convert /tmp/fk-sky.png -stroke '#2e7d32' -strokewidth 6 -draw "line 140,420 150,230" -draw "line 280,420 280,200" \
  -draw "line 420,420 410,240" -stroke none -fill '#d81b60' -draw "ellipse 150,210 35,45 0,360" \
  -fill '#fdd835' -draw "ellipse 280,180 35,45 0,360" -fill '#8e24aa' -draw "ellipse 410,220 35,45 0,360" \
  -quality 92 tulips.jpg

sky 32 '#000000' '#1a237e' /tmp/fk-sky.png
convert /tmp/fk-sky.png -fill '#263238' -draw "rectangle 40,200 120,420" -draw "rectangle 150,120 230,420" \
  -draw "rectangle 260,240 330,420" -draw "rectangle 360,160 450,420" -draw "rectangle 480,260 540,420" \
  -fill '#ffe082' -draw "rectangle 60,220 75,235" -draw "rectangle 170,140 185,155" -draw "rectangle 200,200 215,215" \
  -draw "rectangle 280,260 295,275" -draw "rectangle 380,180 395,195" -draw "rectangle 420,300 435,315" \
  -draw "rectangle 500,280 515,295" -colors 96 city-lights.gif

# Below the demo's 500-line minimum on purpose.
convert -size 120x90 gradient:'#90caf9'-'#1565c0' -quality 80 thumbnail.jpg
rm -f /tmp/fk-sky.png
