# Builds a package from the fixture manifest, lists it and checks that every
# manifest setting shows again; then checks that a bad manifest writes
# nothing and names its field.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

execute_process(COMMAND ${PACK} build ${FIXTURE}/manifest.json -o ${WORK}/out.exe
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "build failed (${rc}): ${err}")
endif()
execute_process(COMMAND ${PACK} inspect ${WORK}/out.exe RESULT_VARIABLE rc OUTPUT_VARIABLE listing)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "inspect failed (${rc})")
endif()

set(expected
  "identity: \"Test Author/Test Product\\\\V2.5\" (digest valid)"
  "title: \"Test Saver\""
  "description: \"A test package\""
  "author: \"Test Author\""
  "rights: \"(c) 2026 Test Author\""
  "product: \"Test Product\""
  "version: \"2.5\""
  "wakeUp: rightButton, esc, hotKey"
  "options: mute, hideCursor, disableCdAutorun, defaultMovieSize"
  "hotKey: F7 with shift, ctrl"
  "backgroundColour: #123456"
  "preview: file, path \"content/preview.swf\""
  "help: \"content/docs/help.chm\""
  "about.link: caption \"Visit us\", target \"http://example.com/\", colour #00FF80"
  "about.link.font: face \"Verdana\", height -14, weight 700, italic, underline"
  "about.mail: caption \"Mail us\", address \"test@example.com\", colour #804000"
  "about.mail.font: face \"Courier New\", height -10, weight 400, strikeOut"
  "about.plays: file, file \"content/movie.swf\""
  "about.picture: 70 bytes"
  "movie: \"content/movie.swf\" (kind 2)"
  "installer: \"content/docs/readme.txt\""
  "  INITIALIZE  257 bytes"
  "  AFTERINSTALL  257 bytes"
  "  CUSTOM  257 bytes"
  "other resources: 1"
  "  content/"
  "    docs/"
  "      readme.txt"
  "    movie.swf"
  "  init.qsc")
foreach(line IN LISTS expected)
  string(FIND "${listing}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "missing from the listing: ${line}\n--- listing ---\n${listing}")
  endif()
endforeach()

execute_process(COMMAND ${PACK} extract ${WORK}/out.exe ${WORK}/extracted RESULT_VARIABLE rc)
file(READ ${WORK}/extracted/content/docs/readme.txt readme)
file(READ ${FIXTURE}/content/docs/readme.txt original)
if(NOT rc EQUAL 0 OR NOT readme STREQUAL original)
  message(FATAL_ERROR "extract did not give back the packed file")
endif()

execute_process(COMMAND ${PACK} build ${FIXTURE}/bad_manifest.json -o ${WORK}/bad.exe
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0 OR EXISTS ${WORK}/bad.exe OR EXISTS ${WORK}/bad.exe.part)
  message(FATAL_ERROR "a bad manifest built a package")
endif()
string(FIND "${err}" "manifest field \"about.link.colour\"" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the message does not name the field: ${err}")
endif()

# --runtime names the stub; a runtime that is no executable stops the build.
execute_process(COMMAND ${PACK} build ${FIXTURE}/manifest.json -o ${WORK}/other.exe --runtime ${FIXTURE}/stub64.exe
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS ${WORK}/other.exe)
  message(FATAL_ERROR "--runtime with a stub failed")
endif()
execute_process(COMMAND ${PACK} build ${FIXTURE}/manifest.json -o ${WORK}/notpe.exe --runtime ${FIXTURE}/init.qsc
  RESULT_VARIABLE rc ERROR_VARIABLE err)
string(FIND "${err}" "runtime: not an executable" at)
if(rc EQUAL 0 OR EXISTS ${WORK}/notpe.exe OR at EQUAL -1)
  message(FATAL_ERROR "a runtime that is no executable was accepted: ${err}")
endif()
execute_process(COMMAND ${PACK} frobnicate RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 2)
  message(FATAL_ERROR "an unknown command did not give the usage")
endif()

# init -> build -> verify, as the README walks through: the starting
# manifest builds as it is, verify finds the result sound, a second init
# leaves the manifest alone, and a build off a terminal shows no progress.
file(MAKE_DIRECTORY ${WORK}/starter)
file(COPY ${FIXTURE}/content/movie.swf DESTINATION ${WORK}/starter)
string(REPEAT "0123456789abcdef" 327680 big) # 5 MiB: past the progress threshold
file(WRITE ${WORK}/starter/big.dat "${big}")
execute_process(COMMAND ${PACK} init ${WORK}/starter/movie.swf RESULT_VARIABLE rc OUTPUT_VARIABLE said ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS ${WORK}/starter/movie.json)
  message(FATAL_ERROR "init failed (${rc}): ${err}")
endif()
file(READ ${WORK}/starter/movie.json starter)
string(REPLACE "\"files\": [\"movie.swf\"]" "\"files\": [\"movie.swf\", \"big.dat\"]" starter "${starter}")
file(WRITE ${WORK}/starter/movie.json "${starter}")
execute_process(COMMAND ${PACK} build ${WORK}/starter/movie.json -o ${WORK}/starter/movie.exe --runtime ${FIXTURE}/stub64.exe
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
  message(FATAL_ERROR "building the starting manifest failed or was not quiet (${rc}): ${err}")
endif()
execute_process(COMMAND ${PACK} verify ${WORK}/starter/movie.exe RESULT_VARIABLE rc OUTPUT_VARIABLE said ERROR_VARIABLE err)
string(FIND "${said}" "sound (4 configuration resources; archive: 2 files, 5242900 bytes)" at)
if(NOT rc EQUAL 0 OR at EQUAL -1)
  message(FATAL_ERROR "verify did not find the package sound (${rc}): ${said}${err}")
endif()
execute_process(COMMAND ${PACK} verify ${FIXTURE}/stub64.exe RESULT_VARIABLE rc ERROR_VARIABLE err)
string(FIND "${err}" "stub64.exe: settings (PALOMA/ST): missing" at)
if(NOT rc EQUAL 1 OR at EQUAL -1)
  message(FATAL_ERROR "verify passed a runtime without configuration (${rc}): ${err}")
endif()
execute_process(COMMAND ${PACK} init ${WORK}/starter/movie.swf RESULT_VARIABLE rc ERROR_VARIABLE err)
file(READ ${WORK}/starter/movie.json again)
if(rc EQUAL 0 OR NOT again STREQUAL starter)
  message(FATAL_ERROR "a second init overwrote the manifest")
endif()
execute_process(COMMAND ${PACK} init ${FIXTURE}/init.qsc ${WORK} RESULT_VARIABLE rc ERROR_VARIABLE err)
string(FIND "${err}" "is not a Flash movie" at)
if(rc EQUAL 0 OR at EQUAL -1)
  message(FATAL_ERROR "init took a file that is no movie: ${err}")
endif()
