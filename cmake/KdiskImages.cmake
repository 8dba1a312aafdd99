# kdisk_render_images(SOURCE_DIR dir OUTPUT_DIR dir)
# Target kdisk_images renders every <name>.svg of SOURCE_DIR to <name>.png and
# <name>@2x.png in OUTPUT_DIR with rsvg-convert. The resource copy also carries
# the .svg files into OUTPUT_DIR; they are removed there afterwards so only
# rendered images ship.
function(kdisk_render_images)
  cmake_parse_arguments(ARG "" "SOURCE_DIR;OUTPUT_DIR" "" ${ARGN})
  find_program(KDISK_RSVG_CONVERT rsvg-convert REQUIRED)
  file(GLOB sources CONFIGURE_DEPENDS ${ARG_SOURCE_DIR}/*.svg)
  set(outputs)
  foreach(source IN LISTS sources)
    get_filename_component(name ${source} NAME_WE)
    set(standard ${ARG_OUTPUT_DIR}/${name}.png)
    set(double ${ARG_OUTPUT_DIR}/${name}@2x.png)
    add_custom_command(OUTPUT ${standard} ${double}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${ARG_OUTPUT_DIR}
      COMMAND ${KDISK_RSVG_CONVERT} --zoom=1 --output=${standard} ${source}
      COMMAND ${KDISK_RSVG_CONVERT} --zoom=2 --output=${double} ${source}
      DEPENDS ${source}
      COMMENT "Rendering image ${name}"
      VERBATIM)
    list(APPEND outputs ${standard} ${double})
  endforeach()
  add_custom_target(kdisk_images_rendered DEPENDS ${outputs})
  add_custom_target(kdisk_images ALL
    COMMAND ${CMAKE_COMMAND} -DDIRECTORY=${ARG_OUTPUT_DIR}
            -P ${CMAKE_SOURCE_DIR}/cmake/KdiskRemoveImageSources.cmake
    COMMENT "Removing SVG sources from the bundle's copy"
    VERBATIM)
  add_dependencies(kdisk_images kdisk_images_rendered)
  if(TARGET kdisk_resources)
    # The copy must not run after the renderer, or it would bring the sources back.
    add_dependencies(kdisk_images_rendered kdisk_resources)
  endif()
endfunction()
