# Writes DIR/SHA256SUMS, in sha256sum's format, over FILES (a comma-separated
# list of names inside DIR):
#   cmake -D DIR=... -D FILES=a,b -P write_sums.cmake
if(NOT DIR OR NOT FILES)
  message(FATAL_ERROR "write_sums: DIR and FILES must be set")
endif()
string(REPLACE "," ";" names "${FILES}")
set(sums "")
foreach(name IN LISTS names)
  if(NOT EXISTS "${DIR}/${name}")
    message(FATAL_ERROR "write_sums: ${DIR}/${name} is missing, so SHA256SUMS cannot list it")
  endif()
  file(SHA256 "${DIR}/${name}" hash)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${DIR}/SHA256SUMS.tmp" "${sums}")
file(RENAME "${DIR}/SHA256SUMS.tmp" "${DIR}/SHA256SUMS")
