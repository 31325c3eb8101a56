# What `cmake --install` lays out.
#
# macOS: Quillomatics.app (with ventwarden in Contents/MacOS) in <prefix>/Applications, as built
# and signed.
# Linux: the same bundle layout in <prefix>/lib/quillomatics, because the application finds its
# tool next to its own executable; <prefix>/bin/quillomatics is a relative link to the
# application (it resolves its real path, so the link finds the tool), smc-sim goes to
# <prefix>/bin, the README, its docs/ and the profiles' licence notice to
# <prefix>/share/doc/quillomatics.
# Every file installed, links too, is listed in install_manifest.txt, which is what uninstalling
# removes.
# The README's links lead into docs/, installed beside it.
set(quill_docs
    ${PROJECT_SOURCE_DIR}/docs/architecture.md ${PROJECT_SOURCE_DIR}/docs/macos.md
    ${PROJECT_SOURCE_DIR}/docs/monitor.md ${PROJECT_SOURCE_DIR}/docs/performance.md
    ${PROJECT_SOURCE_DIR}/docs/security.md ${PROJECT_SOURCE_DIR}/docs/simulated-mac.md
    ${PROJECT_SOURCE_DIR}/docs/snapshot.md ${PROJECT_SOURCE_DIR}/docs/ventwarden.md)
include(GNUInstallDirs)

# On both systems: smc-sim, and the docs. The recorded key tables inside the programs come with
# their licence's notice.
install(TARGETS smc-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillomatics)
install(FILES ${quill_docs} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillomatics/docs)
install(FILES ${PROJECT_SOURCE_DIR}/sim/profiles/NOTICE
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillomatics RENAME profiles-NOTICE)

if(APPLE)
  set(QUILL_INSTALL_BUNDLE_DIR Applications CACHE STRING
      "Where Quillomatics.app goes, relative to the install prefix")
  install(DIRECTORY ${QUILL_BUNDLE_DIR} DESTINATION ${QUILL_INSTALL_BUNDLE_DIR}
          USE_SOURCE_PERMISSIONS)
  return()
endif()

set(QUILL_INSTALL_BUNDLE_DIR lib/quillomatics CACHE STRING
    "Where the Quillomatics.app layout goes, relative to the install prefix")
set(quill_installed_bin_dir ${QUILL_INSTALL_BUNDLE_DIR}/Quillomatics.app/Contents/MacOS)

if(TARGET Quillomatics)
  install(TARGETS Quillomatics ventwarden RUNTIME DESTINATION ${quill_installed_bin_dir})
endif()

if(TARGET Quillomatics)
  # A relative link, so that the installed tree can be moved (DESTDIR, packages) as a whole.
  file(RELATIVE_PATH quill_app_link_target /${CMAKE_INSTALL_BINDIR}
       /${quill_installed_bin_dir}/Quillomatics)
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quillomatics\")
    message(STATUS \"Installing: \${link} -> ${quill_app_link_target}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(REMOVE \"\${link}\")
    file(CREATE_LINK \"${quill_app_link_target}\" \"\${link}\" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${link}\")
  ")
endif()
