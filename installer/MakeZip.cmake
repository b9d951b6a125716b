# cmake -DBIN_DIR=D -DDEMO_LIBRARY=F -DREADME=F -DOUTPUT=F.zip -DWORK_DIR=D [-DSOURCE_DIR=D] -P MakeZip.cmake
#
# The zip file for installing by hand: KelvoraSAPI5.dll, kelvora-voice.exe, kelvora-speak.exe
# from BIN_DIR, README (Windows line ends) as README.txt, the demo voice as demo\x64\KELVORA.DLL,
# and SHA256SUMS over all of them (sha256sum's format). Files in a fixed order, all with the
# release time (ReleaseTime.cmake), so that the same inputs give the same bytes.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/ReleaseTime.cmake)

foreach(required BIN_DIR DEMO_LIBRARY README OUTPUT WORK_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "MakeZip.cmake: -D${required}=... is missing")
  endif()
endforeach()

find_program(zip zip REQUIRED)

kelvora_release_time(release_epoch release_time)

set(stage ${WORK_DIR}/zip-files)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage}/demo/x64)
foreach(file KelvoraSAPI5.dll kelvora-speak.exe kelvora-voice.exe)
  file(COPY_FILE ${BIN_DIR}/${file} ${stage}/${file})
endforeach()
file(COPY_FILE ${DEMO_LIBRARY} ${stage}/demo/x64/KELVORA.DLL)
kelvora_windows_text(${README} ${stage}/README.txt)

set(files KelvoraSAPI5.dll README.txt demo/x64/KELVORA.DLL kelvora-speak.exe kelvora-voice.exe)
set(sums "")
foreach(file IN LISTS files)
  file(SHA256 ${stage}/${file} digest)
  string(APPEND sums "${digest}  ${file}\n")
endforeach()
file(WRITE ${stage}/SHA256SUMS "${sums}")
list(APPEND files SHA256SUMS)

kelvora_set_release_time(${release_epoch} ${stage} ${files})

# Info-ZIP's zip: -X leaves out the owner and the access and change times, -D the folder
# entries; the zip format keeps local times, so the release time is written as UTC.
get_filename_component(output ${OUTPUT} ABSOLUTE)
get_filename_component(output_folder ${output} DIRECTORY)
file(MAKE_DIRECTORY ${output_folder})
file(REMOVE ${output})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${zip} -q -X -D -9 ${output} ${files}
  WORKING_DIRECTORY ${stage}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${output})
  message(FATAL_ERROR "zip failed (${status}) on ${output}")
endif()
