+ OS:linux oldkit 0.1 oldkit
plug-ins: bin

+ PLATFORM:linux newkit 0.2 newkit
