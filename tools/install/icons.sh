#!/bin/sh
# teq's icon: the tunnel flight at 60 s as `teq --shot` draws it, the middle
# square of the frame scaled to each size the icon theme asks for.
#   icons.sh TEQ DATA_DIR OUT_DIR SIZE...   (writes OUT_DIR/SIZE.png)
set -eu
teq=$1 data=$2 out=$3
shift 3
mkdir -p "$out"
"$teq" --data "$data" --shot 60 "$out/frame.png"
for size; do
    # Averaged down; the one size above the frame's height smoothly up.
    flags=area
    [ "$size" -le "$(ffprobe -v error -show_entries stream=height -of csv=p=0 "$out/frame.png")" ] || flags=lanczos
    ffmpeg -loglevel error -nostdin -y -i "$out/frame.png" -vf "crop=ih:ih,scale=$size:$size:flags=$flags" \
        -frames:v 1 "$out/$size.png"
done
rm "$out/frame.png"
