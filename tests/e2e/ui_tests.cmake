# The interactive suite: installers built with sfxtool from the ui_*
# manifests, and one GoogleTest program that drives them through their
# windows with the harness and ui_driver. Included from tests/e2e/CMakeLists.txt in the win32 tree.
set(UI_E2E_SOURCE ${CMAKE_CURRENT_LIST_DIR})
set(UI_FIXTURE_SOURCE ${UI_E2E_SOURCE}/fixtures)
set(UI_FIXTURE_DIR ${CMAKE_BINARY_DIR}/tests/e2e/ui_fixtures)
set(UI_SCREENSHOT_DIR ${CMAKE_BINARY_DIR}/tests/e2e/ui_screenshots)
file(MAKE_DIRECTORY ${UI_FIXTURE_DIR} ${UI_SCREENSHOT_DIR})

# The long licence: 500 numbered clauses and one line of 5000 characters.
set(ui_long_text "UI LONG LICENCE\r\n")
foreach(i RANGE 1 500)
  string(APPEND ui_long_text
         "Clause ${i}. The licensee reads every clause of this long licence to its end.\r\n")
endforeach()
string(REPEAT "x" 5000 ui_long_line)
string(APPEND ui_long_text "${ui_long_line}\r\nTHE END OF THE LONG LICENCE\r\n")
file(WRITE ${UI_FIXTURE_DIR}/ui_long_licence.txt "${ui_long_text}")
configure_file(${UI_FIXTURE_SOURCE}/ui_long.toml ${UI_FIXTURE_DIR}/ui_long.toml
               COPYONLY)

set(ui_fixture_files)
foreach(name ui_demo ui_plain ui_auto ui_long)
  if(name STREQUAL "ui_long")
    set(manifest ${UI_FIXTURE_DIR}/${name}.toml)
    set(inputs ${UI_FIXTURE_DIR}/ui_long_licence.txt)
  else()
    set(manifest ${UI_FIXTURE_SOURCE}/${name}.toml)
    set(inputs ${UI_FIXTURE_SOURCE}/ui_licence.txt ${UI_FIXTURE_SOURCE}/ui_readme.txt)
  endif()
  sfx_add_fixture_installer(${UI_FIXTURE_DIR}/${name}.exe ${manifest}
    "Building the interactive fixture ${name}.exe" DEPENDS ${inputs})
  list(APPEND ui_fixture_files ${UI_FIXTURE_DIR}/${name}.exe)
endforeach()
add_custom_target(ui_fixtures ALL DEPENDS ${ui_fixture_files})

add_executable(ui_e2e_tests ${UI_E2E_SOURCE}/ui_driver.cc
               ${UI_E2E_SOURCE}/ui_window_test.cc
               ${UI_E2E_SOURCE}/ui_licence_test.cc)
target_include_directories(ui_e2e_tests PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_compile_options(ui_e2e_tests PRIVATE ${SFX_WARNINGS})
target_compile_definitions(ui_e2e_tests PRIVATE
  UI_FIXTURE_DIR="${UI_FIXTURE_DIR}"
  UI_FIXTURE_SOURCE="${UI_FIXTURE_SOURCE}"
  UI_SCREENSHOT_DIR="${UI_SCREENSHOT_DIR}")
target_link_libraries(ui_e2e_tests PRIVATE e2e_harness sfx_ui_logic gtest
                                           gtest_main gdi32 comctl32)
add_dependencies(ui_e2e_tests ui_fixtures)
add_test(NAME ui_e2e_tests COMMAND ui_e2e_tests)
set_tests_properties(ui_e2e_tests PROPERTIES LABELS "e2e;ui" TIMEOUT 900)
