# A core-layer library: Qt Core only; a Qt Gui or Qt Widgets include fails to compile.
function(kelvo_core_library name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} BEFORE PRIVATE ${PROJECT_SOURCE_DIR}/cmake/corelayer)
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC Qt6::Core PRIVATE project_warnings)
endfunction()
