# Install-time step of the package (cmake/VelaPackage.cmake), the last: SHA256SUMS over every
# other file, in sha256sum's format, so `sha256sum -c SHA256SUMS` checks an unpacked copy.
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
  file(SHA256 "${root}/${file}" hash)
  string(APPEND sums "${hash}  ${file}\n")
endforeach()
file(WRITE "${root}/SHA256SUMS" "${sums}")
