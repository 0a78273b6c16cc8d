# velmora_embed_version_info(target [VERSION a.b.c.d] [PRODUCT_VERSION a.b.c.d]
#                            [COMMENTS text] [COMPANY_NAME text] [FILE_DESCRIPTION text]
#                            [INTERNAL_NAME text] [LEGAL_COPYRIGHT text] [LEGAL_TRADEMARKS text]
#                            [ORIGINAL_FILENAME text] [PRIVATE_BUILD text] [PRODUCT_NAME text]
#                            [SPECIAL_BUILD text])
#
# Gives an executable its version information: the fixed record with the four
# version numbers and the standard version strings, in the ELF section
# ".velmora_version" that platform::VersionInfoReader reads. The version is
# the project's (3.8.0.0) unless given; names default to the target's.
# Strings left empty are not stored.
set(VELMORA_VERSION_INFO_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/VersionInfo.cpp.in)

# "a.b.c.d" -> the two 32-bit halves of the fixed record, as hex literals.
function(_velmora_version_words version out_ms out_ls)
  string(REPLACE "." ";" parts "${version}")
  list(LENGTH parts count)
  if(count GREATER 4 OR NOT version MATCHES "^[0-9]+(\\.[0-9]+)*$")
    message(FATAL_ERROR "velmora_embed_version_info: \"${version}\" is not a version of up to four numbers")
  endif()
  while(count LESS 4)
    list(APPEND parts 0)
    math(EXPR count "${count} + 1")
  endwhile()
  foreach(p IN LISTS parts)
    if(p GREATER 65535)
      message(FATAL_ERROR "velmora_embed_version_info: ${p} in \"${version}\" is above 65535")
    endif()
  endforeach()
  list(GET parts 0 a)
  list(GET parts 1 b)
  list(GET parts 2 c)
  list(GET parts 3 d)
  math(EXPR ms "(${a} << 16) | ${b}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR ls "(${c} << 16) | ${d}" OUTPUT_FORMAT HEXADECIMAL)
  set(${out_ms} ${ms} PARENT_SCOPE)
  set(${out_ls} ${ls} PARENT_SCOPE)
endfunction()

# Text as the contents of a C++ string literal.
function(_velmora_c_escape text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\r" "\\r" text "${text}")
  string(REPLACE "\t" "\\t" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(velmora_embed_version_info target)
  set(keys VERSION PRODUCT_VERSION COMMENTS COMPANY_NAME FILE_DESCRIPTION INTERNAL_NAME LEGAL_COPYRIGHT
           LEGAL_TRADEMARKS ORIGINAL_FILENAME PRIVATE_BUILD PRODUCT_NAME SPECIAL_BUILD)
  cmake_parse_arguments(VI "" "${keys}" "" ${ARGN})
  if(VI_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "velmora_embed_version_info: unknown arguments ${VI_UNPARSED_ARGUMENTS}")
  endif()

  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  foreach(pair
      "VERSION;${PROJECT_VERSION}"
      "COMMENTS;Finds media clips on web pages and downloads them."
      "COMPANY_NAME;Orlendt"
      "FILE_DESCRIPTION;Velmora"
      "INTERNAL_NAME;${output_name}"
      "LEGAL_COPYRIGHT;Copyright (C) Orlendt. All rights reserved."
      "ORIGINAL_FILENAME;${output_name}"
      "PRODUCT_NAME;Velmora")
    list(GET pair 0 key)
    list(GET pair 1 value)
    if(NOT DEFINED VI_${key})
      set(VI_${key} "${value}")
    endif()
  endforeach()
  if(NOT DEFINED VI_PRODUCT_VERSION)
    set(VI_PRODUCT_VERSION "${VI_VERSION}")
  endif()

  _velmora_version_words("${VI_VERSION}" VI_FILE_MS VI_FILE_LS)
  _velmora_version_words("${VI_PRODUCT_VERSION}" VI_PRODUCT_MS VI_PRODUCT_LS)

  # The standard names and where their values come from, in the usual order.
  set(VI_STRINGS "")
  foreach(pair
      "Comments;COMMENTS" "CompanyName;COMPANY_NAME" "FileDescription;FILE_DESCRIPTION"
      "FileVersion;VERSION" "InternalName;INTERNAL_NAME" "LegalCopyright;LEGAL_COPYRIGHT"
      "LegalTrademarks;LEGAL_TRADEMARKS" "OriginalFileName;ORIGINAL_FILENAME" "PrivateBuild;PRIVATE_BUILD"
      "ProductName;PRODUCT_NAME" "ProductVersion;PRODUCT_VERSION" "SpecialBuild;SPECIAL_BUILD")
    list(GET pair 0 name)
    list(GET pair 1 key)
    if(NOT "${VI_${key}}" STREQUAL "")
      _velmora_c_escape("${VI_${key}}" escaped)
      # Separate literals, so that "\0" never runs into a following digit.
      string(APPEND VI_STRINGS "\"${name}\" \"\\0\" \"${escaped}\" \"\\0\" ")
    endif()
  endforeach()
  if(VI_STRINGS STREQUAL "")
    set(VI_STRINGS "\"\"")
  endif()

  # English (United States), texts in UTF-8.
  set(VI_LANGUAGE 0x0409)
  set(VI_CODE_PAGE 0xFDE9)
  set(VI_TARGET ${target})
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_info.cpp)
  configure_file(${VELMORA_VERSION_INFO_TEMPLATE} ${generated} @ONLY)
  target_sources(${target} PRIVATE ${generated})
endfunction()
