+ OS:linux velvet 1.0 v
