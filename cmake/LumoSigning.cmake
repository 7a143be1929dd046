# Code signatures of the suite's files. The trusted loader has the public half of an Ed25519 key pair
# compiled in, and every suite library the build makes is signed with the secret half (<file>.sig).
# A release build is given the vendor's secret key with -DLUMO_SIGNING_KEY=<file>; without it the
# build makes a development key pair of its own in the build tree.
include_guard(GLOBAL)

set(LUMO_SIGNING_KEY "" CACHE FILEPATH "The vendor's secret signing key; empty makes a development key in the build tree")

set(LUMO_SIGNING_DIR ${PROJECT_BINARY_DIR}/signing)
if(LUMO_SIGNING_KEY)
    if(NOT EXISTS ${LUMO_SIGNING_KEY})
        message(FATAL_ERROR "LUMO_SIGNING_KEY names no file: ${LUMO_SIGNING_KEY}")
    endif()
    set(LUMO_SIGNING_SECRET_KEY ${LUMO_SIGNING_KEY})
else()
    set(LUMO_SIGNING_SECRET_KEY ${LUMO_SIGNING_DIR}/development.key)
endif()
# The folder to put on the include path of the code that includes "SuitePublicKey.h".
set(LUMO_SIGNING_INCLUDE_DIR ${LUMO_SIGNING_DIR}/include)

# Runs on every build: keygen never replaces an existing key and rewrites the header only when the
# key changed, so nothing is rebuilt unless the key file was replaced or removed, and then the
# loader and every signed target follow the new key.
add_custom_target(lumo_signing_key
    COMMAND ${CMAKE_COMMAND} -E make_directory ${LUMO_SIGNING_INCLUDE_DIR}
    COMMAND lumo-sign keygen ${LUMO_SIGNING_SECRET_KEY} ${LUMO_SIGNING_INCLUDE_DIR}/SuitePublicKey.h
    BYPRODUCTS ${LUMO_SIGNING_INCLUDE_DIR}/SuitePublicKey.h
    COMMENT "Checking the signing key"
    VERBATIM)

# lumo_sign_target(TARGET)
# Signs the target's file after each link; a new key relinks it, so its signature never goes stale.
function(lumo_sign_target target)
    add_dependencies(${target} lumo_signing_key)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${LUMO_SIGNING_SECRET_KEY})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND lumo-sign sign ${LUMO_SIGNING_SECRET_KEY} $<TARGET_FILE:${target}>
        COMMENT "Signing ${target}"
        VERBATIM)
endfunction()
