# SPDX-License-Identifier: GPL-2.0-or-later
"""What the OBS scripts' clients look for on the X display: the top-level
windows that are shown, by name."""
from Xlib import X


def windows_named(d, match):
    """The viewable top-level windows whose name (_NET_WM_NAME, UTF-8)
    `match`es."""
    net_wm_name, utf8 = d.intern_atom("_NET_WM_NAME"), d.intern_atom("UTF8_STRING")
    found = []
    for window in d.screen().root.query_tree().children:
        try:
            name = window.get_full_property(net_wm_name, utf8)
            if window.get_attributes().map_state == X.IsViewable and name and \
                    match(name.value.decode("utf-8", "replace")):
                found.append(window)
        except Exception:  # gone meanwhile
            pass
    return found
