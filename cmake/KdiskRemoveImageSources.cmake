# Removes *.svg from DIRECTORY (the bundle copy of the images).
file(GLOB sources ${DIRECTORY}/*.svg)
if(sources)
  file(REMOVE ${sources})
endif()
