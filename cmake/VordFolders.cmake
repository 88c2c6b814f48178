# The program's folders, lowest layer first, each written "folder: the folders right below it". A folder may
# include the headers of its own folder, of the folders named for it and of every folder those may include, and
# nothing else; each folder it names comes before it, so the main program comes last. tests/check_layers.py reads
# this list and holds every include line of the folders to it. A folder joins the build (and tests/<folder> its
# tests) as soon as it has a CMakeLists.txt.
set(VORD_LAYERS
    "lang" # the texts' names, for every layer
    "platform: lang"
    "core: platform"
    "documents: core"
    "pdalink: core"
    "transfer: documents pdalink"
    "autosync: pdalink"
    "printing: documents"
    "mapview: documents"
    "directlink: documents"
    "xbase: platform"
    "commserver: xbase"
    "commserver/app: commserver" # the server program and its windows, on the engine
    "cleaner: core"
    "vordalin: transfer autosync printing mapview directlink xbase")
set(VORD_FOLDERS)
foreach(layer IN LISTS VORD_LAYERS)
    string(REGEX REPLACE ":.*" "" folder "${layer}")
    list(APPEND VORD_FOLDERS ${folder})
endforeach()
