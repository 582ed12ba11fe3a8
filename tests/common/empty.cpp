// keeps the test support archive non-empty
