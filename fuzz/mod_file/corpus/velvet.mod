+ velvet 1.0 ..
plug-ins: plug-ins
scripts: scripts
MAYA_RENDER_DESC_PATH+:=renderDesc
