# two modules
+ MAYAVERSION:2009 PLATFORM:linux LOCALE:en_US velvet 1.0 ../velvet build
plug-ins: bin/plug-ins
[r] scripts: mel
icons:icons2
A=plain
B+=more
C:=folder
D +:= other

- other 2.0 elsewhere
