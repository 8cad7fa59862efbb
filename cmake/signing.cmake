# Signing of the shipped images. Every image goes through scripts/sign_image.sh
# with the same KORVANE_SIGN_* environment, so host and driver carry the same
# kind of signature from the same certificate.

# The throwaway test certificate, shared by every build tree (the driver and the
# host are built in different trees, and a test machine should trust one root).
set(KORVANE_TEST_CERT_DIR ${CMAKE_SOURCE_DIR}/build/signing CACHE PATH
    "Where the throwaway test CA and signing certificate are made when KORVANE_SIGN_PFX is unset")
set(KORVANE_SIGNING_SCRIPT ${CMAKE_SOURCE_DIR}/scripts/sign_image.sh)

# korvane_sign(NAME IMAGE target OUTPUT file [IMPORTS])
# Adds the target NAME, built by default, that signs IMAGE's linked file into OUTPUT.
# IMPORTS: the build also prints the signed image's import list.
function(korvane_sign name)
  cmake_parse_arguments(arg "IMPORTS" "IMAGE;OUTPUT" "" ${ARGN})
  if(NOT arg_IMAGE OR NOT arg_OUTPUT)
    message(FATAL_ERROR "korvane_sign(${name}) needs IMAGE and OUTPUT")
  endif()
  set(options "")
  if(arg_IMPORTS)
    set(options --imports)
  endif()
  get_filename_component(file_name ${arg_OUTPUT} NAME)
  add_custom_command(
    OUTPUT ${arg_OUTPUT}
    COMMAND ${KORVANE_SIGNING_SCRIPT} ${options} $<TARGET_FILE:${arg_IMAGE}> ${arg_OUTPUT}
            ${KORVANE_TEST_CERT_DIR}
    DEPENDS ${arg_IMAGE} ${KORVANE_SIGNING_SCRIPT}
    COMMENT "Signing ${file_name}"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${arg_OUTPUT})
endfunction()
