# The core's floors, lowest first. A folder may include and link only folders on lower floors;
# folders on one floor are siblings and use none of each other. Read by src/core/CMakeLists.txt
# (one library per folder) and by IncludeFloors.cmake (the include check the build runs).
set(KARV_CORE_FLOORS
    "values desktop" # plain values and texts; the desktop services the core asks for
    "files"          # system calls, long paths, file facts, failures with reasons
    "run"            # the run context every tool takes
    "text settings"  # decoding, loading and matching text; the settings files
    "scan"           # walking folders, the filter run
    "filter duplicates classify stats actions" # the tools
    "app")           # the program's configuration

