# Drives `quill compile` and `quill disasm` end to end.
#   cmake -DQUILL=<program> [-DEMULATOR=<runner>] -DWORK=<scratch folder> -P CompileAndDisasm.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(quill expect_status out_var err_var)
  execute_process(COMMAND ${EMULATOR} ${QUILL} ${ARGN}
    WORKING_DIRECTORY ${WORK}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL expect_status)
    message(FATAL_ERROR "quill ${ARGN}: status ${status}, expected ${expect_status}\n${out}\n${err}")
  endif()
  set(${out_var} "${out}" PARENT_SCOPE)
  set(${err_var} "${err}" PARENT_SCOPE)
endfunction()

function(expect_match text regex what)
  if(NOT "${text}" MATCHES "${regex}")
    message(FATAL_ERROR "${what}: no match for '${regex}' in:\n${text}")
  endif()
endfunction()

# 1. A small script: default output name, 100 bytes, disassembled.
file(WRITE ${WORK}/example.qls "getAdditionalFile(); return true;\n")
quill(0 out err compile example.qls)
if(NOT EXISTS ${WORK}/example.qsc)
  message(FATAL_ERROR "compile wrote no example.qsc")
endif()
file(SIZE ${WORK}/example.qsc size)
if(NOT size EQUAL 100)
  message(FATAL_ERROR "example.qsc has ${size} bytes, expected 100")
endif()
quill(0 out err disasm example.qsc)
expect_match("${out}" "0 code +tag [0-9a-f]+  offset 56  size 11" "disasm sections")
expect_match("${out}" "#0 +identifier getAdditionalFile" "disasm pool")
expect_match("${out}" "0001  getglobal  getAdditionalFile\n  0006  call\n  0007  popn       3\n  0009  pushtrue\n  000a  ret" "disasm code")

# 2. Line table, listing and an explicit output name.
file(WRITE ${WORK}/loop.qls "var total = 0;\nfor (var i = 0; i < 3; i++) {\n  total += i;\n}\ntotal;\n")
quill(0 out err compile loop.qls -o built.bin --lines --listing loop.asm)
if(EXISTS ${WORK}/loop.qsc OR NOT EXISTS ${WORK}/built.bin)
  message(FATAL_ERROR "-o not honoured")
endif()
# (CMake drops carriage returns when it reads text, so the line ends are
# checked on the bytes.)
set(header_hex "3b202d2a2d2061736d202d2a2d0d0a") # "; -*- asm -*-" CR LF
file(READ ${WORK}/loop.asm head LIMIT 15 HEX)
if(NOT head STREQUAL header_hex)
  message(FATAL_ERROR "listing header: ${head}")
endif()
file(READ ${WORK}/loop.asm hex HEX)
string(REGEX MATCHALL "0d0a" crlf "${hex}")
list(LENGTH crlf crlf_count)
file(STRINGS ${WORK}/loop.asm lines)
list(LENGTH lines line_count)
if(crlf_count LESS line_count)
  message(FATAL_ERROR "listing lines do not all end in CR LF")
endif()
file(READ ${WORK}/loop.asm listing)
expect_match("${listing}" "\\.main:" "listing function")
expect_match("${listing}" "\nL[0-9a-f][0-9a-f][0-9a-f][0-9a-f]:\n" "listing label")
expect_match("${listing}" "j(false|f|true|t|mp) +L[0-9a-f]+" "listing jump")
expect_match("${listing}" "; line 3\n" "listing line")
quill(0 out err disasm built.bin)
expect_match("${out}" "source: loop.qls" "disasm source name")
expect_match("${out}" "; line 2" "disasm lines")

# 3. Warnings go to standard error and do not fail the compilation.
file(WRITE ${WORK}/semi.qls "var a = 1\nvar b = 2;\n")
quill(0 out err compile semi.qls --warn-semicolon)
expect_match("${err}" "warning: line 1: missing ;" "semicolon warning")
quill(0 out err compile semi.qls)
if(err MATCHES "warning")
  message(FATAL_ERROR "warning without --warn-semicolon: ${err}")
endif()

# 4. A failed compilation: status 1, the message, no image, a bare listing.
file(WRITE ${WORK}/bad.qls "var ok = 1;\nif (ok {\n")
quill(1 out err compile bad.qls --listing bad.asm)
expect_match("${err}" "error: line 2: syntax error: " "error message")
if(EXISTS ${WORK}/bad.qsc)
  message(FATAL_ERROR "an image was written for a failed compilation")
endif()
file(READ ${WORK}/bad.asm listing HEX)
if(NOT listing STREQUAL header_hex)
  message(FATAL_ERROR "listing of a failed compilation: '${listing}'")
endif()

# 5. Missing files and non-images.
quill(1 out err compile absent.qls)
expect_match("${err}" "can't open the script file: absent.qls" "missing source")
quill(1 out err disasm loop.qls)
quill(2 out err compile)
