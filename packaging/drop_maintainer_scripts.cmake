# CPack post-build script: CPack's DEB generator gives a package with shared
# objects below /usr/lib postinst and postrm scripts that run ldconfig. Ours
# are modules in a folder of their own that the dynamic loader never
# searches, and everything else the desktop needs after an installation is
# done by the triggers of desktop-file-utils, shared-mime-info and
# hicolor-icon-theme, so the package carries no maintainer script at all.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build ${tree} ${deb}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
