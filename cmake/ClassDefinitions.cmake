# The class definitions (MOF) and the sfcb and OpenPegasus registrations, generated at build
# time from the one list of classes and properties (src/class_properties.h) by a small
# program, into ${VKT_MOF_DIR}; cmake/Install.cmake installs them under ${datadir}/varkolt.
add_executable(vkt-mofgen ${CMAKE_SOURCE_DIR}/mof/vkt-mofgen.cpp)
target_compile_options(vkt-mofgen PRIVATE ${VKT_WARNINGS})
target_include_directories(vkt-mofgen PRIVATE ${CMAKE_SOURCE_DIR}/src)

set(VKT_MOF_DIR ${CMAKE_BINARY_DIR}/share/varkolt)
set(VKT_MOF_FILES
  ${VKT_MOF_DIR}/varkolt-qualifiers.mof
  ${VKT_MOF_DIR}/varkolt.mof
  ${VKT_MOF_DIR}/varkolt.reg
  ${VKT_MOF_DIR}/varkolt-pegasus.mof
  ${VKT_MOF_DIR}/varkolt-actions.mof
  ${VKT_MOF_DIR}/varkolt-actions.reg
  ${VKT_MOF_DIR}/varkolt-actions-pegasus.mof)
add_custom_command(OUTPUT ${VKT_MOF_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VKT_MOF_DIR}
  COMMAND vkt-mofgen ${VKT_MOF_DIR} ${PROJECT_VERSION}
  DEPENDS vkt-mofgen
  COMMENT "Generating the class definitions and CIMOM registrations"
  VERBATIM)
add_custom_target(varkolt_mof ALL DEPENDS ${VKT_MOF_FILES})
