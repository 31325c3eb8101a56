# What the application bundle's Info.plist says, for the bundle build and for its check elsewhere.
# LSUIElement keeps the application out of the Dock from the first moment of launch, before its
# activation policy is set.
set(QUILL_BUNDLE_ID org.quillomatics.Quillomatics)
set(QUILL_BUNDLE_EXECUTABLE Quillomatics)
set(QUILL_MACOS_MINIMUM ${CMAKE_OSX_DEPLOYMENT_TARGET})
configure_file(${CMAKE_CURRENT_LIST_DIR}/Info.plist.in ${CMAKE_CURRENT_BINARY_DIR}/Info.plist
               @ONLY)
