# The program's folders, lowest layer first; the main program comes after every subsystem it calls. A folder
# joins the build (and tests/<folder> its tests) as soon as it has a CMakeLists.txt. The include-layer test
# (tests/check_layers.py) holds the rule of what each folder may include.
set(VORD_FOLDERS
    platform
    core
    documents
    transfer
    pdalink
    autosync
    printing
    mapview
    directlink
    xbase
    commserver
    commserver/app
    cleaner
    vordalin
    lang)
