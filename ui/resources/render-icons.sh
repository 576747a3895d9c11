#!/bin/sh
# Renders every PNG in this folder from its SVG source with rsvg-convert
# (Debian/Ubuntu package librsvg2-bin). Run from anywhere:
#     sh ui/resources/render-icons.sh
# Small sizes come from their own pixel-grid drawings; a 24x24 icon is the
# 22x22 drawing with a 1 px transparent margin.
set -eu
cd "$(dirname "$0")"

# png SOURCE.svg OUTPUT.png  -- render at the drawing's own size
png() {
    rsvg-convert "$1" -o "$2"
}

# png_scaled SOURCE.svg SIZE OUTPUT.png  -- render scaled to SIZExSIZE
png_scaled() {
    rsvg-convert -w "$2" -h "$2" "$1" -o "$3"
}

# png_24 SOURCE-22.svg OUTPUT.png  -- the 22x22 drawing centred on 24x24
png_24() {
    rsvg-convert --page-width 24 --page-height 24 --left 1 --top 1 "$1" -o "$2"
}

# Application icon, hicolor theme layout
app=corvane-messenger
for n in 16 22 24 32 48 64 128 256; do
    mkdir -p "icons/hicolor/${n}x${n}/apps"
done
png        icons/$app-16.svg "icons/hicolor/16x16/apps/$app.png"
png        icons/$app-22.svg "icons/hicolor/22x22/apps/$app.png"
png_24     icons/$app-22.svg "icons/hicolor/24x24/apps/$app.png"
png        icons/$app-32.svg "icons/hicolor/32x32/apps/$app.png"
png        icons/$app-48.svg "icons/hicolor/48x48/apps/$app.png"
for n in 64 128 256; do
    png_scaled icons/$app.svg $n "icons/hicolor/${n}x${n}/apps/$app.png"
done

# Tray icons
for name in online offline alert; do
    png    tray/$name-16.svg tray/$name-16.png
    png    tray/$name-22.svg tray/$name-22.png
    png_24 tray/$name-22.svg tray/$name-24.png
    png    tray/$name-32.svg tray/$name-32.png
    png    tray/$name.svg    tray/$name-48.png
done

# Window and control images
for name in caption-message caption-error close close-hot \
            kind-user kind-workgroup kind-group; do
    png src/$name.svg $name.png
done
png src/write-16.svg         write-16.png
png src/write-32.svg         write-32.png
png src/write-sending-16.svg write-sending.png
