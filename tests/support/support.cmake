# Test support shared by the native unit-test areas: the in-memory platform
# and, on the host, installer files built by the packer. Included by each
# area that needs them; the targets are made once.
if(NOT TARGET sfx_fake_platform)
  add_library(sfx_fake_platform STATIC
              ${PROJECT_SOURCE_DIR}/tests/support/fake_platform.cc)
  target_include_directories(sfx_fake_platform PUBLIC
                             ${PROJECT_SOURCE_DIR}/tests/support
                             ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(sfx_fake_platform PRIVATE ${SFX_WARNINGS})
  target_link_libraries(sfx_fake_platform PUBLIC sfx_platform)
endif()
if(NOT SFX_WIN32 AND NOT TARGET sfx_package_image)
  add_library(sfx_package_image STATIC
              ${PROJECT_SOURCE_DIR}/tests/support/package_image.cc)
  target_include_directories(sfx_package_image PUBLIC
                             ${PROJECT_SOURCE_DIR}/tests/support
                             ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(sfx_package_image PRIVATE ${SFX_WARNINGS})
  target_link_libraries(sfx_package_image PUBLIC sfx_packer)
endif()
