# cmake --install: the programs, in the GNU directory layout, and what data/
# makes for them. kestrava-demo goes beside the kestrava-sandbox it starts.

include(GNUInstallDirs)

# Folders made by the install are 755 whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(installed_programs kestrava-cli kestrava-sandbox)
if(TARGET kestrava)
  list(PREPEND installed_programs kestrava kestrava-demo)
endif()
install(TARGETS ${installed_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

add_subdirectory(data)
