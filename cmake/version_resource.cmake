# merovane_version_resource(TARGET DESCRIPTION): gives a Windows program the
# version resource Explorer shows: the project's version, the product name,
# and DESCRIPTION.
function(merovane_version_resource target description)
    set(MEROVANE_RC_NAME ${target})
    set(MEROVANE_RC_FILE ${target}.exe)
    set(MEROVANE_RC_DESCRIPTION ${description})
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
