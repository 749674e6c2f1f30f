+ MAYAVERSION:2024 PLATFORM:win64 farmkit 5.2 "C:/Program Files/Render Farm Kit/2024"
plug-ins: plug-ins

+ MAYAVERSION:2025 PLATFORM:linux farmkit 5.2 "../Render Farm Kit/2025"
[r] plug-ins: "plug ins"
PATH +:= bin


+ MAYAVERSION:2025 PLATFORM:win64 farmkit 5.2 "C:/Program Files/Render Farm Kit/2025"
plug-ins: plug-ins
