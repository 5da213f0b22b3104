# SPDX-License-Identifier: GPL-3.0-or-later
# The programs' version block: built from the values below by
# version_block_gen and linked into each program's ".quillon_version" section,
# where the version resource reader (about/VersionInfo) finds it.
include_guard(GLOBAL)

add_executable(version_block_gen
  ${PROJECT_SOURCE_DIR}/cmake/version_block_gen.cpp
  ${PROJECT_SOURCE_DIR}/about/VersionBlock.cpp
  ${PROJECT_SOURCE_DIR}/runtime/Text.cpp)
target_include_directories(version_block_gen PRIVATE ${PROJECT_SOURCE_DIR})

# quillon_embed_version(TARGET): links the version block into TARGET.
function(quillon_embed_version target)
  # The values of the programs' version block.
  set(QUILLON_VERSION_ARGS
    --file-version ${PROJECT_VERSION}
    --product-version ${PROJECT_VERSION}
    --flags-mask 0x3F
    --flags 0
    --os 0x4        # VOS__WINDOWS32
    --type 1        # VFT_APP
    --translation 0809:04E4
    --string "CompanyName=Vantor Quessel, Wendlebury Fen"
    --string "FileDescription=Rename Timestep MPD files"
    --string "FileVersion=${PROJECT_VERSION}"
    --string "InternalName=Quillon"
    --string "LegalCopyright=Copyright (C) 1998-2007 Vantor Quessel"
    --string "LegalTrademarks=Orrinet Satellite Suite is free for non-commercial use"
    --string "OriginalFilename=Quillon.exe"
    --string "ProductName=Orrinet Satellite Suite"
    --string "ProductVersion=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}"
    --string "Comments=2007 Nov 10"
    --string "Author=vq@orrinet.example"
    --string "Web site=www.orrinet.example"
  )
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_block.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND version_block_gen --output ${out} ${QUILLON_VERSION_ARGS}
    DEPENDS version_block_gen ${PROJECT_SOURCE_DIR}/cmake/QuillonVersionInfo.cmake
    COMMENT "Generating the version block of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
