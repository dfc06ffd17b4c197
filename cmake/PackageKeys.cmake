# Package keys of the build. The tests always use development key pairs made
# here with `kxpack keygen` (never committed): `dev` signs the test packages,
# `other` stands for a foreign key. setup.exe and the sample installer use the
# release key and certificate when KX_PACKAGE_KEY and KX_PACKAGE_CERT are
# given, else the development pair.
set(KX_PACKAGE_KEY "" CACHE FILEPATH "Release package private key (PEM) for the sample installer")
set(KX_PACKAGE_CERT "" CACHE FILEPATH "Release package certificate (DER) embedded in setup.exe")

set(KX_NATIVE_BIN "" CACHE PATH "Folder of the native kxpack build")
find_program(KXPACK kxpack PATHS ${KX_NATIVE_BIN} NO_DEFAULT_PATH)
if(NOT KXPACK)
  message(FATAL_ERROR "kxpack not found in '${KX_NATIVE_BIN}': build the native preset first "
                      "(cmake --workflow --preset native)")
endif()
find_program(OPENSSL openssl REQUIRED)

set(KX_KEYS_DIR ${CMAKE_BINARY_DIR}/keys)
set(key_files "")
foreach(pair dev other)
  set(files ${KX_KEYS_DIR}/${pair}/package-key.pem ${KX_KEYS_DIR}/${pair}/package-cert.der)
  add_custom_command(OUTPUT ${files}
    COMMAND ${KXPACK} keygen --force --subject "kxsetup ${pair} test key" ${KX_KEYS_DIR}/${pair}
    COMMENT "Making the ${pair} package key pair")
  list(APPEND key_files ${files})
endforeach()
# The test signer takes the development key as a CryptoAPI private key blob.
add_custom_command(OUTPUT ${KX_KEYS_DIR}/dev/package-key.blob
  COMMAND ${OPENSSL} rsa -in ${KX_KEYS_DIR}/dev/package-key.pem -outform MSBLOB
          -out ${KX_KEYS_DIR}/dev/package-key.blob
  DEPENDS ${KX_KEYS_DIR}/dev/package-key.pem)
add_custom_target(package_keys DEPENDS ${key_files} ${KX_KEYS_DIR}/dev/package-key.blob)

if(KX_PACKAGE_KEY OR KX_PACKAGE_CERT)
  if(NOT EXISTS "${KX_PACKAGE_KEY}" OR NOT EXISTS "${KX_PACKAGE_CERT}")
    message(FATAL_ERROR "KX_PACKAGE_KEY and KX_PACKAGE_CERT must both name existing files")
  endif()
  set(KX_SETUP_KEY ${KX_PACKAGE_KEY})
  set(KX_SETUP_CERT ${KX_PACKAGE_CERT})
else()
  set(KX_SETUP_KEY ${KX_KEYS_DIR}/dev/package-key.pem)
  set(KX_SETUP_CERT ${KX_KEYS_DIR}/dev/package-cert.der)
endif()

# kx_certificate_library(NAME DER): the object that defines the package certificate.
function(kx_certificate_library name der)
  set(source ${CMAKE_BINARY_DIR}/generated/${name}.cpp)
  add_custom_command(OUTPUT ${source}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${der} -DOUTPUT=${source}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedCertificate.cmake
    DEPENDS ${der} ${PROJECT_SOURCE_DIR}/cmake/EmbedCertificate.cmake)
  # Object files, so that link order cannot drop them.
  add_library(${name} OBJECT ${source})
  add_dependencies(${name} package_keys)
  target_link_libraries(${name} PRIVATE kxcore)
endfunction()
