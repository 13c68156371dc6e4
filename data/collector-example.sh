#!/bin/sh
# Event collector for tirsk-mon (-e PATH, key event-collector): logs every
# event of the viewer to the system log and accepts it.
#
# Protocol: the viewer writes one line per event to our standard input,
#   L program starting
#   L layout NEW PREVIOUS        (PREVIOUS 1000: no layout yet)
#   L program exiting
# (L is the display letter) and waits, without drawing, for one answer line
# per event: a line beginning with "done" accepts, anything else refuses (a
# refused layout change is not made).  Answer at once.  End on "program
# exiting" or at the end of the input; when this script ends, the viewer
# ends too.
#
# To refuse layouts, set TIRSK_REFUSE_LAYOUTS to their numbers, e.g. "7 8".
while IFS= read -r line; do
    logger -t tirsk-mon-events -- "$line" 2>/dev/null
    set -- $line
    if [ "${2:-}" = layout ] && [ -n "${TIRSK_REFUSE_LAYOUTS:-}" ]; then
        case " $TIRSK_REFUSE_LAYOUTS " in
        *" $3 "*) echo "refused: layout $3 is not for this desk"; continue ;;
        esac
    fi
    echo done
    [ "${2:-} ${3:-}" = "program exiting" ] && exit 0
done
exit 0
