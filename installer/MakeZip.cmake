# cmake -DBIN_DIR=D -DDEMO_LIBRARY=F -DREADME=F -DOUTPUT=F.zip -DWORK_DIR=D [-DSOURCE_DIR=D] -P MakeZip.cmake
#
# The zip file for installing by hand: KelvoraSAPI5.dll, kelvora-voice.exe, kelvora-speak.exe
# from BIN_DIR, README (Windows line ends) as README.txt, the demo voice as demo\x64\KELVORA.DLL,
# and SHA256SUMS over all of them (sha256sum's format). Files in a fixed order, all with the
# release time (PackageFiles.cmake), so that the same inputs give the same bytes.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/PackageFiles.cmake)

kelvora_require_definitions(MakeZip.cmake BIN_DIR DEMO_LIBRARY README OUTPUT WORK_DIR)
find_program(zip zip REQUIRED)

kelvora_release_time(release_epoch release_text)

set(stage ${WORK_DIR}/zip-files)
kelvora_stage_shipped_files(${stage} files)
file(MAKE_DIRECTORY ${stage}/demo/x64)
file(COPY_FILE ${DEMO_LIBRARY} ${stage}/demo/x64/KELVORA.DLL)
list(APPEND files demo/x64/KELVORA.DLL)
list(SORT files)
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
kelvora_prepare_output(output)
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${zip} -q -X -D -9 ${output} ${files}
  WORKING_DIRECTORY ${stage}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${output})
  message(FATAL_ERROR "zip failed (${status}) on ${output}")
endif()
