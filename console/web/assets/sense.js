// The sensitivity test.
