#!/bin/sh
# Copies the built-in artwork into samples/img in the picture formats the settings may name:
# PNG, GIF and BMP. Needs ImageMagick's convert. Run from the project root after the artwork
# generator.
set -eu
src=resources/img
out=samples/img
mkdir -p "$out"
cp "$src/skin.png" "$out/back.png"
convert "$src/skin_alarm.png" "$out/backalarm.gif"
# BMP without alpha, version 3 headers: the form every loader reads
convert "$src/dial.png" -background white -alpha remove -alpha off BMP3:"$out/dial.bmp"
convert "$src/dial_alarm.png" "$out/dialalarm.gif"
ls -l "$out"
