# The Windows build's dependencies, built with the same mingw toolchain: libcurl from its source
# (HTTP only, Schannel for HTTPS), GoogleTest from Debian's source package, the header-only
# libraries from the host's packages. Everything links statically into each program.

include(ExternalProject)

# The first of the places where the team keeps third-party sources that holds `relative`, as an
# absolute path in `variable`; empty when none does.
function(orv_third_party variable relative)
    foreach(folder ${PROJECT_SOURCE_DIR}/../shared/third_party /work/shared/third_party)
        if(EXISTS ${folder}/${relative})
            get_filename_component(found ${folder}/${relative} ABSOLUTE)
            set(${variable} ${found} PARENT_SCOPE)
            return()
        endif()
    endforeach()
    set(${variable} "" PARENT_SCOPE)
endfunction()

# libcurl: from a source tarball built once per build folder, or an installed mingw libcurl.
orv_third_party(orv_curl_default curl-8.21.0.tar.xz)
set(ORV_CURL_SOURCE "${orv_curl_default}" CACHE FILEPATH
    "libcurl source tarball for the Windows build; empty to use an installed mingw libcurl")

if(ORV_CURL_SOURCE)
    # The tarball's digest from the SHA256SUMS file beside it, when there is one.
    get_filename_component(orv_curl_folder ${ORV_CURL_SOURCE} DIRECTORY)
    get_filename_component(orv_curl_name ${ORV_CURL_SOURCE} NAME)
    set(orv_curl_hash "")
    if(EXISTS ${orv_curl_folder}/SHA256SUMS)
        file(STRINGS ${orv_curl_folder}/SHA256SUMS orv_sums REGEX " ${orv_curl_name}$")
        if(orv_sums)
            string(REGEX MATCH "^[0-9a-f]+" orv_curl_sha256 "${orv_sums}")
            set(orv_curl_hash URL_HASH SHA256=${orv_curl_sha256})
        endif()
    endif()

    set(orv_curl_prefix ${PROJECT_BINARY_DIR}/third_party/curl)
    ExternalProject_Add(curl_mingw
        URL ${ORV_CURL_SOURCE}
        ${orv_curl_hash}
        PREFIX ${orv_curl_prefix}
        INSTALL_DIR ${orv_curl_prefix}/install
        CMAKE_ARGS
            -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
            -DCMAKE_BUILD_TYPE=Release
            -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
            -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON
            -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DBUILD_EXAMPLES=OFF
            -DBUILD_LIBCURL_DOCS=OFF -DBUILD_MISC_DOCS=OFF -DENABLE_CURL_MANUAL=OFF
            -DPICKY_COMPILER=OFF
            -DHTTP_ONLY=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF
            -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF
            -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBPSL=OFF -DCURL_USE_LIBSSH2=OFF
            -DENABLE_UNIX_SOCKETS=OFF
        BUILD_BYPRODUCTS <INSTALL_DIR>/lib/libcurl.a
        DOWNLOAD_EXTRACT_TIMESTAMP ON)
    file(MAKE_DIRECTORY ${orv_curl_prefix}/install/include)

    add_library(orv_curl INTERFACE)
    target_include_directories(orv_curl SYSTEM INTERFACE ${orv_curl_prefix}/install/include)
    target_compile_definitions(orv_curl INTERFACE CURL_STATICLIB)
    target_link_libraries(orv_curl INTERFACE ${orv_curl_prefix}/install/lib/libcurl.a
        bcrypt advapi32 crypt32 secur32 ws2_32 iphlpapi)
    add_dependencies(orv_curl curl_mingw)
    add_library(CURL::libcurl ALIAS orv_curl)
else()
    find_package(CURL REQUIRED)
endif()

# Header-only libraries from the host's packages, without the rest of the host's include folder.
set(orv_host_headers ${PROJECT_BINARY_DIR}/host_headers)
file(MAKE_DIRECTORY ${orv_host_headers})
file(CREATE_LINK /usr/include/rapidjson ${orv_host_headers}/rapidjson SYMBOLIC)
set(RAPIDJSON_INCLUDE_DIR ${orv_host_headers} CACHE PATH "Folder that holds rapidjson/")

# cpp-httplib: the single-header form of the version Debian packages for Linux.
orv_third_party(orv_httplib_default cpp-httplib-0.11.4)
set(ORV_HTTPLIB_DIR "${orv_httplib_default}" CACHE PATH
    "Folder with cpp-httplib's single httplib.h for the Windows build")
if(NOT EXISTS ${ORV_HTTPLIB_DIR}/httplib.h)
    message(FATAL_ERROR "The Windows build needs cpp-httplib's single header: set ORV_HTTPLIB_DIR")
endif()
add_library(orv_httplib INTERFACE)
target_include_directories(orv_httplib SYSTEM INTERFACE ${ORV_HTTPLIB_DIR})
target_link_libraries(orv_httplib INTERFACE ws2_32 crypt32)

# GoogleTest from Debian's source package, with Windows threads.
if(ORV_BUILD_TESTS)
    set(ORV_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source folder")
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${ORV_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    target_compile_options(gtest PRIVATE -w)
endif()
