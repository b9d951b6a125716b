# Helpers of MakeMsi.cmake and MakeZip.cmake: the release time that every packaged file
# carries, and README.txt with Windows line ends.

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

function(kelvora_windows_text source destination)
  file(READ ${source} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${destination} "${text}")
endfunction()
