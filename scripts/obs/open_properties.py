# SPDX-License-Identifier: GPL-2.0-or-later
"""Adds a source to OBS Studio's current scene and opens its Properties
window, through obs-websocket.
    open_properties.py PORT PASSWORD OBS_PID INPUT_NAME INPUT_KIND SETTINGS_JSON"""
import json, sys

from obs_ws import log, must, open_session

port, password, obs_pid, input_name, input_kind, settings = sys.argv[1:7]
settings = json.loads(settings)

ws = open_session(port, password, obs_pid)
kinds = must(ws, "GetInputKindList", {"unversioned": True})["inputKinds"]
if input_kind not in kinds:
    sys.exit("OBS Studio has no input kind %r: the module did not load" % input_kind)
scene = must(ws, "GetCurrentProgramScene")["currentProgramSceneName"]
must(ws, "CreateInput", {"sceneName": scene, "inputName": input_name, "inputKind": input_kind,
                         "inputSettings": settings, "sceneItemEnabled": True})
log("created the input %r in the scene %r" % (input_name, scene))
must(ws, "OpenInputPropertiesDialog", {"inputName": input_name})
log("opened its Properties window")
ws.close()
