library(testthat)
library(oskev)

test_check("oskev")
