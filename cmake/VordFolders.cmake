# The program's folders, lowest layer first: each comes after every folder it may include (tests/check_layers.py
# holds that rule and reads this list), so the main program comes last. A folder joins the build (and
# tests/<folder> its tests) as soon as it has a CMakeLists.txt.
set(VORD_FOLDERS
    lang
    platform
    core
    documents
    pdalink
    transfer
    autosync
    printing
    mapview
    directlink
    xbase
    commserver
    commserver/app
    cleaner
    vordalin)
