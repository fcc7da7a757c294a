# Run by CPack after it made the archive (CPACK_POST_BUILD_SCRIPTS): the
# entries are given to root and write access to their owner alone, whoever
# built them under whatever umask. CPack records the builder's owner and
# modes, tar run as root restores them, and the installer runs nothing from
# a folder that another user owns or can write.
foreach(archive IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(dir ${archive} DIRECTORY)
  set(tree ${dir}/_CPack_Packages/root-owned)
  file(REMOVE_RECURSE ${tree})
  file(MAKE_DIRECTORY ${tree})
  execute_process(COMMAND tar -xpzf ${archive} -C ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB entries RELATIVE ${tree} ${tree}/*)
  execute_process(COMMAND tar --owner=root:0 --group=root:0 --mode=go-w --sort=name -czf ${archive} -C ${tree} ${entries}
                  COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
