# Runs the Windows program under the emulator on one end-to-end fixture, in
# a fresh directory, as a user would: the answers on standard input, no
# console (so the final key wait ends at once). Then compares the exit
# status, the console transcript and every file written with the fixture's
# expected bytes, in which each line feed is written as CR LF: on Windows
# the output files and standard output are text. The run must write no other
# file and nothing on standard error.
#
# Arguments: EMULATOR, PROGRAM, FIXTURE (a directory of tests/data/e2e),
# WORK_DIR.
cmake_minimum_required(VERSION 3.25)

# file(READ) without HEX drops carriage returns, so every file is read as
# a list of bytes in hexadecimal ("0d;0a" for CR LF).
function(read_bytes path out)
  file(READ ${path} hex HEX)
  string(REGEX MATCHALL ".." bytes "${hex}")
  set(${out} "${bytes}" PARENT_SCOPE)
endfunction()

# The bytes from `first` up to and including the next line feed (at most 100
# of them), as text with line ends, tabs and other controls made visible.
function(show_line bytes first out)
  list(LENGTH bytes count)
  set(text "")
  set(i ${first})
  math(EXPR limit "${first} + 100")
  while(i LESS count AND i LESS limit)
    list(GET bytes ${i} byte)
    math(EXPR code "0x${byte}")
    if(byte STREQUAL "0a")
      string(APPEND text "\\n")
      break()
    elseif(byte STREQUAL "0d")
      string(APPEND text "\\r")
    elseif(byte STREQUAL "09")
      string(APPEND text "\\t")
    elseif(code LESS 32 OR code GREATER 126)
      string(APPEND text "\\x${byte}")
    else()
      string(ASCII ${code} char)
      string(APPEND text "${char}")
    endif()
    math(EXPR i "${i} + 1")
  endwhile()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Appends to `failures` the first line in which the byte lists differ.
function(compare_bytes what expected actual)
  if(expected STREQUAL actual)
    return()
  endif()
  list(LENGTH expected e_count)
  list(LENGTH actual a_count)
  set(i 0)
  set(line 1)
  set(line_start 0)
  while(i LESS e_count AND i LESS a_count)
    list(GET expected ${i} e)
    list(GET actual ${i} a)
    if(NOT e STREQUAL a)
      break()
    endif()
    math(EXPR i "${i} + 1")
    if(e STREQUAL "0a")
      math(EXPR line "${line} + 1")
      set(line_start ${i})
    endif()
  endwhile()
  show_line("${expected}" ${line_start} e_text)
  show_line("${actual}" ${line_start} a_text)
  set(failures "${failures}${what}: first difference in line ${line} (byte ${i}; sizes: expected ${e_count}, actual ${a_count})\n  expected: ${e_text}\n  actual:   ${a_text}\n" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/run)
set(run_dir ${WORK_DIR}/run)
file(COPY_FILE ${FIXTURE}/input.txt ${run_dir}/input.txt)

execute_process(COMMAND ${EMULATOR} ${PROGRAM}
                WORKING_DIRECTORY ${run_dir}
                INPUT_FILE ${FIXTURE}/answers.txt
                OUTPUT_FILE ${WORK_DIR}/stdout
                ERROR_FILE ${WORK_DIR}/stderr
                RESULT_VARIABLE status
                TIMEOUT 60)

set(failures "")
file(READ ${FIXTURE}/status expected_status)
string(STRIP "${expected_status}" expected_status)
if(NOT status STREQUAL expected_status)
  string(APPEND failures "exit status: expected ${expected_status}, got ${status}\n")
endif()
file(READ ${WORK_DIR}/stderr errors)
if(NOT errors STREQUAL "")
  string(APPEND failures "standard error is not empty:\n${errors}\n")
endif()

file(GLOB expected_files RELATIVE ${FIXTURE}/expected ${FIXTURE}/expected/*)
foreach(name IN LISTS expected_files)
  read_bytes(${FIXTURE}/expected/${name} expected)
  # Text on Windows: each line feed is written as CR LF.
  list(TRANSFORM expected REPLACE "^0a$" "0d;0a")
  if(name STREQUAL "console.txt")
    read_bytes(${WORK_DIR}/stdout actual)
  elseif(EXISTS ${run_dir}/${name})
    read_bytes(${run_dir}/${name} actual)
  else()
    string(APPEND failures "${name}: not written\n")
    continue()
  endif()
  compare_bytes(${name} "${expected}" "${actual}")
endforeach()

file(GLOB written RELATIVE ${run_dir} ${run_dir}/*)
list(REMOVE_ITEM written input.txt)
list(REMOVE_ITEM expected_files console.txt)
list(SORT written)
list(SORT expected_files)
if(NOT written STREQUAL expected_files)
  string(APPEND failures "files written: ${written}\n  expected: ${expected_files}\n")
endif()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
