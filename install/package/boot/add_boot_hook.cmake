# Run by cpack once the package's files are staged: the init script that starts the automatic
# services at boot where systemd does not run, and its systemd twin masked (a link to /dev/null),
# since under systemd every service has an enabled unit of its own. Only the package carries
# them: the script names the package's install folder.
set(staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
file(MAKE_DIRECTORY "${staged}/etc/init.d" "${staged}/lib/systemd/system")
file(COPY_FILE "${CPACK_TESMAR_BOOT_SOURCE}/tesmar.init" "${staged}/etc/init.d/tesmar")
file(CHMOD "${staged}/etc/init.d/tesmar"
     PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                 WORLD_EXECUTE)
file(CREATE_LINK /dev/null "${staged}/lib/systemd/system/tesmar.service" SYMBOLIC)
