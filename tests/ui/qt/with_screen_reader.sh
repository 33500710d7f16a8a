#!/bin/sh
# Runs a test program as a screen reader's desktop would: on an X display of its own, in a D-Bus
# session of its own whose accessibility bus has the screen-reader flag set.
exec xvfb-run -a -s "-screen 0 1024x768x24" dbus-run-session -- sh -c '
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:ScreenReaderEnabled \
    variant:boolean:true >/dev/null || exit 1
  QT_QPA_PLATFORM=xcb exec "$@"' with_screen_reader "$@"
