# Test support shared by the native unit-test areas: the in-memory platform.
# Included by each area that needs it; the target is made once.
if(NOT TARGET sfx_fake_platform)
  add_library(sfx_fake_platform STATIC
              ${PROJECT_SOURCE_DIR}/tests/support/fake_platform.cc)
  target_include_directories(sfx_fake_platform PUBLIC
                             ${PROJECT_SOURCE_DIR}/tests/support
                             ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(sfx_fake_platform PRIVATE ${SFX_WARNINGS})
  target_link_libraries(sfx_fake_platform PUBLIC sfx_platform)
endif()
