# Run by CPack after it has written the ZIP: the same files as a 1.44 MB floppy image
# (FAT12) and an ISO 9660 CD image beside it, the forms in which an emulator or a virtual
# machine running Windows 95/98/Me takes software in. Needs mtools and genisoimage.
file(GLOB kit_files "${CPACK_TEMPORARY_DIRECTORY}/*")
set(floppy "${CPACK_PACKAGE_DIRECTORY}/QVLMRMON.IMG")
set(cd "${CPACK_PACKAGE_DIRECTORY}/QVLMRMON.ISO")
file(REMOVE "${floppy}" "${cd}")
execute_process(COMMAND mformat -i "${floppy}" -C -f 1440 -v QVLMRMON :: RESULT_VARIABLE failed)
if(NOT failed)
  execute_process(COMMAND mcopy -i "${floppy}" ${kit_files} :: RESULT_VARIABLE failed)
endif()
if(failed)
  message(FATAL_ERROR "cannot write the floppy image ${floppy} (is mtools installed?)")
endif()
execute_process(COMMAND genisoimage -quiet -V QVLMRMON -o "${cd}" "${CPACK_TEMPORARY_DIRECTORY}"
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot write the CD image ${cd} (is genisoimage installed?)")
endif()
message(STATUS "disk images: ${floppy}, ${cd}")
