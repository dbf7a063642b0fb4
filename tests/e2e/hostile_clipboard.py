#!/usr/bin/python3
"""Takes CLIPBOARD and PRIMARY on $DISPLAY and answers every paste badly, until killed.

usage: hostile_clipboard.py empty|refuse|vanish

empty: offers an empty list of formats and refuses everything else; refuse: refuses every
request, even the list of formats; vanish: gives the selections up by exiting at once.
Prints "ready" once it owns both. Debian's Python, for its python3-xlib.
"""

import sys

from Xlib import X, Xatom, display
from Xlib.protocol import event

mode = sys.argv[1]
connection = display.Display()
window = connection.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
selections = [connection.intern_atom("CLIPBOARD"), Xatom.PRIMARY]
for selection in selections:
    window.set_selection_owner(selection, X.CurrentTime)
if any(connection.get_selection_owner(selection) != window for selection in selections):
    sys.exit("could not take the selections")
print("ready", flush=True)
if mode == "vanish":
    sys.exit(0)

targets = connection.intern_atom("TARGETS")
while True:
    request = connection.next_event()
    if request.type != X.SelectionRequest:
        continue
    answered = X.NONE
    if mode == "empty" and request.target == targets:
        request.requestor.change_property(request.property, Xatom.ATOM, 32, [])
        answered = request.property
    notify = event.SelectionNotify(
        time=request.time,
        requestor=request.requestor,
        selection=request.selection,
        target=request.target,
        property=answered,
    )
    request.requestor.send_event(notify)
    connection.flush()
