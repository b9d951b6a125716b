# Helpers of MakeMsi.cmake and MakeZip.cmake: the definitions a script needs, the files both
# packages ship, the output file, and the release time that every packaged file carries.

# Stops when one of the named -D definitions was not given.
function(kelvora_require_definitions script)
  foreach(required IN LISTS ARGN)
    if(NOT DEFINED ${required})
      message(FATAL_ERROR "${script}: -D${required}=... is missing")
    endif()
  endforeach()
endfunction()

# A fresh staging folder with what both packages ship: KelvoraSAPI5.dll, kelvora-voice.exe and
# kelvora-speak.exe from BIN_DIR, and README as README.txt with Windows line ends. The names,
# relative to the folder, go to files_variable.
function(kelvora_stage_shipped_files stage files_variable)
  file(REMOVE_RECURSE ${stage})
  file(MAKE_DIRECTORY ${stage})
  set(files KelvoraSAPI5.dll kelvora-voice.exe kelvora-speak.exe)
  foreach(file IN LISTS files)
    file(COPY_FILE ${BIN_DIR}/${file} ${stage}/${file})
  endforeach()
  file(READ ${README} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${stage}/README.txt "${text}")
  set(${files_variable} ${files} README.txt PARENT_SCOPE)
endfunction()

# OUTPUT as an absolute path, its folder made and an older file of that name removed.
function(kelvora_prepare_output output_variable)
  get_filename_component(output ${OUTPUT} ABSOLUTE)
  get_filename_component(output_folder ${output} DIRECTORY)
  file(MAKE_DIRECTORY ${output_folder})
  file(REMOVE ${output})
  set(${output_variable} ${output} PARENT_SCOPE)
endfunction()

# The time of the last commit of SOURCE_DIR (SOURCE_DATE_EPOCH when set; 2000-01-01 outside a
# git work tree), as seconds since 1970 and as "YYYY-MM-DD hh:mm:ss" in UTC.
function(kelvora_release_time epoch_variable text_variable)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch $ENV{SOURCE_DATE_EPOCH})
  else()
    set(epoch 946684800)
    if(DEFINED SOURCE_DIR)
      execute_process(COMMAND git -C ${SOURCE_DIR} log -1 --format=%ct
        OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE status ERROR_QUIET)
      if(status EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
        set(epoch ${commit_time})
      endif()
    endif()
  endif()
  execute_process(COMMAND date -u -d @${epoch} "+%Y-%m-%d %H:%M:%S"
    OUTPUT_VARIABLE text OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(${epoch_variable} ${epoch} PARENT_SCOPE)
  set(${text_variable} "${text}" PARENT_SCOPE)
endfunction()

# Gives the files (relative to folder) the release time.
function(kelvora_set_release_time epoch folder)
  execute_process(COMMAND touch -d @${epoch} ${ARGN}
    WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
endfunction()
