# cmake -DVERSION=V -DBIN_DIR=D -DREADME=F -DOUTPUT=F.msi -DWORK_DIR=D [-DSOURCE_DIR=D] -P MakeMsi.cmake
#
# Builds the installer package from KelvoraSAPI5.wxs with wixl: KelvoraSAPI5.dll,
# kelvora-voice.exe and kelvora-speak.exe from BIN_DIR, README (Windows line ends) as README.txt.
# The same inputs give the same bytes: files carry the time of the last commit of SOURCE_DIR
# (or SOURCE_DATE_EPOCH), wixl and msibuild run at that time in UTC, and the product and
# package codes are derived from the version and the contents instead of drawn at random.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/PackageFiles.cmake)

# Fixed for every version: an upgrade finds its older versions by it.
set(upgrade_code 8101E341-8AAD-45CF-B8BD-EDE9E1E183D0)

kelvora_require_definitions(MakeMsi.cmake VERSION BIN_DIR README OUTPUT WORK_DIR)
find_program(wixl wixl REQUIRED)
find_program(msibuild msibuild REQUIRED)
find_program(faketime faketime REQUIRED)

kelvora_release_time(release_epoch release_time)

set(stage ${WORK_DIR}/msi-files)
kelvora_stage_shipped_files(${stage} files)
kelvora_set_release_time(${release_epoch} ${stage} ${files})

# One product code per version: the same version installed again is a repair, a higher one
# an upgrade. Windows Installer compares only the first three numbers of a version, so the
# fourth does not make a product of its own: two builds that differ only there would be two
# products side by side, neither older than the other.
string(REGEX MATCH "^[0-9]+\\.[0-9]+\\.[0-9]+" compared_version "${VERSION}")
string(UUID product_code NAMESPACE ${upgrade_code} NAME "ProductCode ${compared_version}"
       TYPE SHA1 UPPER)
set(digest_input "${VERSION} ${release_epoch}")
foreach(file IN LISTS files ITEMS ${CMAKE_CURRENT_LIST_DIR}/KelvoraSAPI5.wxs
                                  ${CMAKE_CURRENT_LIST_FILE})
  if(NOT IS_ABSOLUTE ${file})
    set(file ${stage}/${file})
  endif()
  file(SHA256 ${file} file_digest)
  string(APPEND digest_input " ${file_digest}")
endforeach()
string(UUID package_code NAMESPACE ${upgrade_code} NAME "PackageCode ${digest_input}" TYPE SHA1 UPPER)

kelvora_prepare_output(output)
set(at_release_time ${CMAKE_COMMAND} -E env TZ=UTC ${faketime} -f "${release_time}")
execute_process(
  COMMAND ${at_release_time} ${wixl} --arch x64 -D Version=${VERSION} -D ProductCode=${product_code}
          -D UpgradeCode=${upgrade_code} -o ${output} ${CMAKE_CURRENT_LIST_DIR}/KelvoraSAPI5.wxs
  WORKING_DIRECTORY ${stage}
  RESULT_VARIABLE status)
# wixl can fail to write and still exit 0.
if(NOT status EQUAL 0 OR NOT EXISTS ${output})
  message(FATAL_ERROR "wixl failed (${status}) on ${CMAKE_CURRENT_LIST_DIR}/KelvoraSAPI5.wxs")
endif()

# What wixl 0.101 cannot write itself:
# - the LibraryPath component (the Path value) is installed only when KELVORA_PATH is given;
# - Execute="rollback" comes out as an immediate action: type 18 (kelvora-voice.exe) with
#   Return="ignore" (64), rollback (256), in the script (1024), without impersonation (2048);
# - an upgrade removes the older product's feature by name rather than with REMOVE=ALL, so
#   that the older product's uninstall keeps the voice tokens also where the installer service
#   sets no UPGRADINGPRODUCTCODE (Wine's);
# - the command-line properties pass to the installer service also from an unprivileged client;
# - the package code, derived above (wixl draws one at random).
execute_process(
  COMMAND ${at_release_time} ${msibuild} ${output}
    -q "UPDATE `Component` SET `Condition` = 'KELVORA_PATH' WHERE `Component` = 'LibraryPath'"
    -q "UPDATE `CustomAction` SET `Type` = 3410 WHERE `Action` = 'RollBackVoice'"
    -q "UPDATE `Upgrade` SET `Remove` = 'Engine' WHERE `ActionProperty` = 'OLDER_VERSION_FOUND'"
    -q "UPDATE `Property` SET `Value` = 'OLDER_VERSION_FOUND;NEWER_VERSION_FOUND;KELVORA_PATH;VOICE;VOICE_RATE;VOICE_GENDER;VOICE_AGE' WHERE `Property` = 'SecureCustomProperties'"
    -s "SAPI5 interface for Kelvora TTS (64-bit)" Kelvora "x64;1033" "{${package_code}}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${output})
  message(FATAL_ERROR "msibuild failed (${status}) on ${output}")
endif()
