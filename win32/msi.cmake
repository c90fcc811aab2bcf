# The Windows Installer package, karvex-<version>-win64.msi beside the ZIP: a per-user install
# built by wixl (msitools) from karvex.wxs. Included by win32/CMakeLists.txt.
find_program(WIXL wixl REQUIRED)

# The same for every release, or a newer package would stand beside the older instead of
# replacing it.
set(KARVEX_MSI_UPGRADE_CODE 5A3FECBC-587C-4BBF-B460-2011A7DFEAAA CACHE INTERNAL
    "Windows Installer upgrade code")

# karvex_add_msi(TARGET FILE VERSION): builds FILE from karvex.wxs with this build's programs, as
# product version VERSION (major.minor.build). Windows Installer reads no more than these three
# fields; the product code follows from the version, so that one version is always one product,
# whichever build made it. The tests build further packages with it (a newer version).
function(karvex_add_msi target file version)
    if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$" OR CMAKE_MATCH_1 GREATER 255
       OR CMAKE_MATCH_2 GREATER 255 OR CMAKE_MATCH_3 GREATER 65535)
        message(FATAL_ERROR "MSI version ${version}: three fields up to 255.255.65535")
    endif()
    string(UUID product NAMESPACE ${KARVEX_MSI_UPGRADE_CODE} NAME ${version} TYPE SHA1 UPPER)
    # wixl takes source files relative to its working folder: this target's own, where the
    # files are copied under the names they are installed with.
    set(stage ${CMAKE_CURRENT_BINARY_DIR}/${target}.files)
    set(win32 ${PROJECT_SOURCE_DIR}/win32)
    add_custom_command(OUTPUT ${file}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:karvex> $<TARGET_FILE:karvex-run>
            ${PROJECT_BINARY_DIR}/win32/karvex.ico ${win32}/installed.txt ${stage}
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/README.md ${stage}/README.txt
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/copyright
            ${stage}/LICENSE.txt
        COMMAND ${CMAKE_COMMAND} -E chdir ${stage} ${WIXL} -a x64 -D Version=${version}
            -D ProductCode=${product} -D UpgradeCode=${KARVEX_MSI_UPGRADE_CODE} -o ${file}
            ${win32}/karvex.wxs
        DEPENDS ${win32}/karvex.wxs ${win32}/installed.txt ${PROJECT_SOURCE_DIR}/README.md
            ${PROJECT_SOURCE_DIR}/packaging/copyright karvex karvex-run
        COMMENT "Building ${file}"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${file})
endfunction()

# The release package carries the first three fields of the project's version. Two releases that
# differ only in the fourth would be one product version to Windows Installer, and the newer
# could not replace the older: such a version is refused here.
if(NOT KARVEX_VERSION_TWEAK EQUAL 0)
    message(FATAL_ERROR "Version ${PROJECT_VERSION}: the MSI cannot tell releases apart by the "
                        "fourth field; raise the third instead")
endif()
set(KARVEX_MSI ${PROJECT_BINARY_DIR}/karvex-${PROJECT_VERSION}-win64.msi CACHE INTERNAL
    "The release MSI")
karvex_add_msi(karvex_msi ${KARVEX_MSI}
    ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
