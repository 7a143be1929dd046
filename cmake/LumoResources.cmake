# The executable's resources: pictures rendered from SVG, compiled with the resource script into
# one C++ source by tools/rescomp.
include_guard(GLOBAL)

find_program(LUMO_RSVG_CONVERT rsvg-convert REQUIRED)

# lumo_render_svg(SOURCE svg OUTPUT png WIDTH w HEIGHT h)
# Renders one SVG at an exact pixel size; appends the PNG to the caller's LUMO_RENDERED_PICTURES.
function(lumo_render_svg)
    cmake_parse_arguments(ARG "" "SOURCE;OUTPUT;WIDTH;HEIGHT" "" ${ARGN})
    get_filename_component(folder ${ARG_OUTPUT} DIRECTORY)
    add_custom_command(
        OUTPUT ${ARG_OUTPUT}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${LUMO_RSVG_CONVERT} --width ${ARG_WIDTH} --height ${ARG_HEIGHT} --format png
                --output ${ARG_OUTPUT} ${ARG_SOURCE}
        DEPENDS ${ARG_SOURCE}
        COMMENT "Rendering ${ARG_OUTPUT}"
        VERBATIM)
    set(LUMO_RENDERED_PICTURES ${LUMO_RENDERED_PICTURES} ${ARG_OUTPUT} PARENT_SCOPE)
endfunction()

# lumo_compile_resources(TARGET name SCRIPT xml PICTURES folder DEPENDS pngs...)
# Makes an object library `name` that defines the module's resource directory.
function(lumo_compile_resources)
    cmake_parse_arguments(ARG "" "TARGET;SCRIPT;PICTURES" "DEPENDS" ${ARGN})
    set(source ${CMAKE_CURRENT_BINARY_DIR}/${ARG_TARGET}.cpp)
    add_custom_command(
        OUTPUT ${source}
        COMMAND rescomp ${ARG_SCRIPT} ${ARG_PICTURES} ${source}
        DEPENDS rescomp ${ARG_SCRIPT} ${ARG_DEPENDS}
        COMMENT "Compiling resources ${ARG_SCRIPT}"
        VERBATIM)
    add_library(${ARG_TARGET} OBJECT ${source})
    target_link_libraries(${ARG_TARGET} PRIVATE lumo_options)
endfunction()

# lumo_add_resources(TARGET)
# Links the program's resources into an executable and exports its dynamic symbols, so that
# the resource directory is found in the main program by FindResourceW.
function(lumo_add_resources target)
    target_link_libraries(${target} PRIVATE lumo_resources)
    set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
endfunction()
