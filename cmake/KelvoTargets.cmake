# Layers, from the bottom: model <- summary <- engine <- (platform | ui) <- app; tabs sits beside
# the model for the browser host. A target sees only the folders of src/ that its layer may use:
# its include root is a folder of links to exactly those, so an include of a layer above fails to
# compile, whatever folder it comes from.
function(kelvo_sees target)
    set(root ${PROJECT_BINARY_DIR}/layers/${target})
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root})
    foreach(folder IN LISTS ARGN)
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
    endforeach()
    target_include_directories(${target} PUBLIC ${root})
endfunction()

# A core-layer library: Qt Core only; a Qt Gui or Qt Widgets include fails to compile.
function(kelvo_core_library name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} BEFORE PRIVATE ${PROJECT_SOURCE_DIR}/cmake/corelayer)
    target_link_libraries(${name} PUBLIC Qt6::Core PRIVATE project_warnings)
endfunction()
