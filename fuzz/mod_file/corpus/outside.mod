+ velvet 1.0 v

plug-ins: p
