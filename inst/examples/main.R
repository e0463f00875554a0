# Loads the module and asks it for its reference date-time.
library(HestorTools)
print(.Call("_HestorTools_test"))
print(names(getDLLRegisteredRoutines("HestorTools")$.Call))
