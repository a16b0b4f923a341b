# cmake -DINPUT=sondrax-umd.js -DOUTPUT=sondrax-core.js -P EsModule.cmake
# The module emscripten writes defines SondraxModule for a script, a worker or require; an ES
# module exports it. Its own export lines look for `module` and `define`, which an ES module
# lacks, so they do nothing there.
file(READ ${INPUT} SONDRAX_MODULE_TEXT)
file(WRITE ${OUTPUT} "${SONDRAX_MODULE_TEXT}\nexport default SondraxModule;\n")
