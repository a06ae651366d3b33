# Cross-built Windows executables run under Wine when CTest starts them, with
# a private Wine prefix inside the build folder so the user's own prefix is
# never touched.
set(QUORVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(QUORVANE_WINE_COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${QUORVANE_WINEPREFIX})
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVANE_WINE_COMMAND})
