# Install rules for the helper scripts. A boot medium's tree is laid out as
#   <prefix>/bin/{rundiags,compat.pl,makefloppy,rundiags-health,netburn,diskburn}
#   <prefix>/share/rundiags/{compat-known-bad.txt,pci.ids}
#   <prefix>/share/rundiags/perl/{Makefloppy,Rundiags}/*.pm
# compat.pl, makefloppy and rundiags-health find their data and modules beside themselves
# or in ../share/rundiags.
install(PROGRAMS
  ${CMAKE_CURRENT_LIST_DIR}/compat.pl
  ${CMAKE_CURRENT_LIST_DIR}/makefloppy
  ${CMAKE_CURRENT_LIST_DIR}/rundiags-health
  DESTINATION bin)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/compat-known-bad.txt
  DESTINATION share/rundiags)
# The helpers' Perl modules.
install(DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/perl/
  DESTINATION share/rundiags/perl
  FILES_MATCHING PATTERN "*.pm")

# The probe names devices from the PCI ID database. A medium that does not
# carry the distribution's copy gets the build machine's one here.
option(RUNDIAGS_INSTALL_PCI_IDS "Copy the build machine's pci.ids into share/rundiags" ON)
if(RUNDIAGS_INSTALL_PCI_IDS)
  find_file(RUNDIAGS_PCI_IDS pci.ids
    PATHS /usr/share/misc /usr/share/hwdata /usr/share NO_DEFAULT_PATH)
  if(RUNDIAGS_PCI_IDS)
    install(FILES ${RUNDIAGS_PCI_IDS} DESTINATION share/rundiags)
  else()
    message(STATUS "pci.ids not found: compat.pl will show numeric PCI IDs unless the medium has one")
  endif()
endif()
