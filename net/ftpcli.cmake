# The FTP client component (library "ftpcli"), on the socket component.
add_library(ftpcli STATIC
  ${CMAKE_CURRENT_LIST_DIR}/FtpLocalStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FtpCli.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FtpCliTransfer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FtpClient.cpp
)
target_include_directories(ftpcli PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(ftpcli PUBLIC net os rtl)
