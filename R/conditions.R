# Failures inside the library keep the fixed message that code may compare
# against (e.g. "c++ exception (unknown reason)") in `message`, and carry the
# library's own explanation in `reason`; printing the error shows both.
conditionMessage.hestorError <- function(c) {
  if (is.null(c$reason) || !nzchar(c$reason)) c$message else paste0(c$message, "\n", c$reason)
}
